#include "exifreport/json_writer.h"

#include "exif/metadata_list.h"
#include "exif/report.h"
#include "exif/text_decode.h"

namespace exifreport {
namespace {

void AppendString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string repaired;
    if (!exif::IsValidUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
        text = repaired = exif::ValidUtf8(text);
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

}  // namespace

void AppendJsonLine(std::string& out, const exif::MetadataList& list) {
    out += "{\"file\":";
    AppendString(out, list.PhotoName());
    out += ",\"path\":";
    AppendString(out, list.PhotoFile());
    out += ",\"entries\":[";
    const auto& entries = list.Entries();
    for (std::size_t i = 0; i < list.EntryCount() && i < entries.size(); ++i) {
        if (i > 0) out += ',';
        out += "{\"tag\":";
        out += std::to_string(entries[i].tag);
        out += ",\"label\":";
        AppendString(out, entries[i].label);
        out += ",\"value\":";
        AppendString(out, entries[i].value);
        out += '}';
    }
    out += "]}\n";
}

}  // namespace exifreport
