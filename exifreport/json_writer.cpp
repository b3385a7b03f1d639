#include "exifreport/json_writer.h"

#include "exif/metadata_list.h"
#include "exif/report.h"
#include "exif/tag_catalogue.h"

#include <charconv>
#include <vector>

namespace exifreport {
namespace {

// One pass: runs of bytes that need nothing are copied whole; a byte that is
// not part of well-formed UTF-8 becomes U+FFFD.
void AppendString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            if (const std::size_t length = exif::WellFormedLength(text.substr(i)); length != 0) {
                i += length;
                continue;
            }
        } else if (byte >= 0x20 && byte != '"' && byte != '\\') {
            ++i;
            continue;
        }
        out.append(text, copied, i - copied);
        switch (byte) {
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
                out += "\xEF\xBF\xBD";
            }
        }
        copied = ++i;
    }
    out.append(text, copied);
    out += '"';
}

// The labels of the catalogue as JSON strings, made once: every photo has
// dozens of entries, and each label would otherwise be checked again.
const std::string* QuotedLabel(std::uint32_t tag, const std::string& label) {
    static const std::vector<std::string> quoted = [] {
        std::vector<std::string> all;
        for (const exif::CatalogueEntry& entry : exif::Catalogue()) {
            all.emplace_back();
            AppendString(all.back(), entry.label);
        }
        return all;
    }();
    const exif::CatalogueEntry* row = exif::FindTag(tag);
    if (row == nullptr || row->label != label) return nullptr;
    return &quoted[static_cast<std::size_t>(row - exif::Catalogue().data())];
}

}  // namespace

void AppendJsonLine(std::string& out, const exif::MetadataList& list) {
    using namespace std::string_view_literals;  // no strlen per piece
    out += "{\"file\":"sv;
    AppendString(out, list.PhotoName());
    out += ",\"path\":"sv;
    AppendString(out, list.PhotoFile());
    out += ",\"entries\":["sv;
    const auto& entries = list.Entries();
    for (std::size_t i = 0; i < list.EntryCount() && i < entries.size(); ++i) {
        if (i > 0) out += ',';
        out += "{\"tag\":"sv;
        if (entries[i].tag >= exif::kExtraRowTag) {
            // An extra row gathers several sources: it has no one tag.
            out += "null"sv;
        } else {
            char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, entries[i].tag).ptr;
            out.append(digits, end);
        }
        out += ",\"label\":"sv;
        if (const std::string* label = QuotedLabel(entries[i].tag, entries[i].label)) out += *label;
        else AppendString(out, entries[i].label);
        out += ",\"value\":"sv;
        AppendString(out, entries[i].value);
        out += '}';
    }
    out += "]}\n"sv;
}

}  // namespace exifreport
