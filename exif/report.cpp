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
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    // The writers call this for every character outside ASCII, so it checks
    // the ranges itself (those of IsValidUtf8) rather than calling it.
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80) return 0;
    return length;
}

std::string ValidUtf8(std::string_view text) {
    if (IsValidUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
        return std::string(text);
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
                        const std::vector<std::string>& labels,
                        const std::vector<std::string>& values) {
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
