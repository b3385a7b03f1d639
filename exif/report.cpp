#include "exif/report.h"

#include "exif/metadata_list.h"

namespace exif {
namespace {

constexpr char kLineEnd[] = "\r\n";

// One line per entry only holds if no text brings its own line break (a
// Linux file name or a photo's comment may), so a CR or LF becomes a space.
void AppendLineText(std::string& out, const std::string& text) {
    const std::size_t start = out.size();
    out += text;
    for (std::size_t i = start; i < out.size(); ++i)
        if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
}

std::string Header(const std::string& photoName, const std::string& photoPath) {
    std::string out;
    out += "图像：";
    AppendLineText(out, photoName);
    out += kLineEnd;
    out += "路径：";
    AppendLineText(out, photoPath);
    out += kLineEnd;
    out.append(50, '-');
    out += kLineEnd;
    return out;
}

}  // namespace

std::string BuildReport(const std::string& photoName, const std::string& photoPath,
                        const std::vector<std::string>& labels, const std::vector<std::string>& values) {
    std::string out = Header(photoName, photoPath);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        AppendLineText(out, labels[i]);
        if (i < values.size()) AppendLineText(out, values[i]);
        out += kLineEnd;
    }
    return out;
}

std::string BuildReport(const MetadataList& list) {
    std::string out = Header(list.PhotoName(), list.PhotoFile());
    const auto& entries = list.Entries();
    out.reserve(out.size() + 64 * list.EntryCount());
    for (std::size_t i = 0; i < list.EntryCount() && i < entries.size(); ++i) {
        out += entries[i].label;  // a catalogue label: no line breaks
        AppendLineText(out, entries[i].value);
        out += kLineEnd;
    }
    return out;
}

}  // namespace exif
