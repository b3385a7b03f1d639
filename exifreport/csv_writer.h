// --csv: one row per photo for a spreadsheet. Columns "文件", "路径", then one
// per catalogue label in catalogue order, holding the photo's value for that
// tag (empty when it has none; the first when it lists the tag twice), then
// one per row of the extra catalogue. RFC 4180
// quoting, CR LF line ends, UTF-8 with a byte-order mark so that Excel and WPS
// read it as Chinese text.
#pragma once

#include <string>
#include <vector>

namespace exif {
class MetadataList;
}

namespace exifreport {

class CsvWriter {
public:
    CsvWriter();

    // The byte-order mark and the heading row.
    std::string Header() const;

    // Appends the photo's row.
    void AppendRow(std::string& out, const exif::MetadataList& list);

private:
    std::vector<const std::string*> cells_;  // per column of the two catalogues, for one photo
};

}  // namespace exifreport
