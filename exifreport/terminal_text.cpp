#include "exifreport/terminal_text.h"

#include "exif/report.h"

namespace exifreport {
namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (byte) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\\': out += "\\\\"; return;
    default: break;
    }
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// C0 controls, DEL, and the C1 controls U+0080 to U+009F (C2 80 to C2 9F),
// which some terminals obey as well.
bool IsControl(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
    return lead == 0xC2 && static_cast<unsigned char>(sequence[1]) < 0xA0;
}

std::string Escaped(std::string_view text, bool keepLayout) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = exif::WellFormedLength(text.substr(i));
        const std::string_view sequence = text.substr(i, length == 0 ? 1 : length);
        bool escape = length == 0 || IsControl(sequence);
        if (keepLayout && (sequence == "\t" || sequence == "\r" || sequence == "\n"))
            escape = false;
        if (!keepLayout && sequence == "\\") escape = true;
        if (escape) {
            for (const char byte : sequence) AppendEscaped(out, static_cast<unsigned char>(byte));
        } else {
            out.append(sequence);
        }
        i += sequence.size();
    }
    return out;
}

}  // namespace

std::string TerminalText(std::string_view text) { return Escaped(text, false); }

std::string TerminalReportText(std::string_view text) { return Escaped(text, true); }

}  // namespace exifreport
