// The text report: two header lines (photo name, photo path), a rule of 50
// hyphens, then one line per entry with the label and value back to back.
// UTF-8 without a byte-order mark; every line ends in CR LF.
#pragma once

#include <string>
#include <vector>

namespace exif {

class MetadataList;

std::string BuildReport(const std::string& photoName, const std::string& photoPath,
                        const std::vector<std::string>& labels, const std::vector<std::string>& values);

std::string BuildReport(const MetadataList& list);

}  // namespace exif
