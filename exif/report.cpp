#include "exif/report.h"

#include "exif/metadata_list.h"
#include "exif/text_decode.h"

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
    AppendLineText(out, ValidUtf8(photoName));
    out += kLineEnd;
    out += "路径：";
    AppendLineText(out, ValidUtf8(photoPath));
    out += kLineEnd;
    out.append(50, '-');
    out += kLineEnd;
    return out;
}

}  // namespace

std::size_t WellFormedLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (length == 0 || length > text.size()) return 0;
    return IsValidUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), length) ? length : 0;
}

std::string ValidUtf8(std::string_view text) {
    if (IsValidUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t length = WellFormedLength(text.substr(i)); length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

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
