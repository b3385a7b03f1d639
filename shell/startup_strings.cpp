#include "shell/startup_strings.h"

#include <cstdint>

namespace viewer {
namespace {

StartupStrings strings;

// The contact lines are kept as code points, not as text, so that they are
// not found as plain strings in the program file; start-up spells them out.
constexpr std::uint32_t kMailLine[] = {
    0x90AE, 0x7BB1, 0xFF1A, 0x65, 0x78, 0x69, 0x66, 0x64, 0x65, 0x76, 0x40,
    0x65,   0x78,   0x61,   0x6D, 0x70, 0x6C, 0x65, 0x2E, 0x63, 0x6F, 0x6D,
};
constexpr std::uint32_t kChatLine[] = {
    0x51, 0x51, 0x7FA4, 0xFF1A, 0x65, 0x78, 0x69, 0x66, 0x76, 0x69, 0x65, 0x77,
};

void AppendUtf8(std::string& text, std::uint32_t c) {
    char bytes[3];
    std::size_t n = 0;
    if (c < 0x80) {
        bytes[n++] = static_cast<char>(c);
    } else if (c < 0x800) {
        bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    text.append(bytes, n);
}

template <std::size_t N>
std::string Spell(const std::uint32_t (&codes)[N]) {
    std::string line;
    for (std::uint32_t c : codes) AppendUtf8(line, c);
    return line;
}

}  // namespace

void setStartupStrings() {
    strings.pathSeparator.assign(1, '/');
    strings.contactLines = {Spell(kMailLine), Spell(kChatLine)};
}

const StartupStrings& startupStrings() { return strings; }

}  // namespace viewer
