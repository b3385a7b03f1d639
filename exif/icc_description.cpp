#include "exif/icc_description.h"

#include "exif/text_decode.h"
#include "reader/byte_view.h"

namespace exif {

std::string IccDescription(std::span<const std::uint8_t> profile) {
    constexpr std::uint64_t kHeader = 128;
    // Longer than any description; the tag count is checked against the
    // profile's bytes too.
    constexpr std::uint64_t kMaxText = 4096;
    const reader::ByteView bytes(profile, true);
    if (!bytes.fits(kHeader, 4) || !bytes.sub(36, 4).startsWith("acsp")) return {};
    const std::uint64_t tags = bytes.u32(kHeader);
    if (tags > (bytes.size() - kHeader - 4) / 12) return {};
    for (std::uint64_t i = 0; i < tags; ++i) {
        const std::uint64_t entry = kHeader + 4 + 12 * i;
        if (!bytes.sub(entry, 4).startsWith("desc")) continue;
        const reader::ByteView tag = bytes.sub(bytes.u32(entry + 4), bytes.u32(entry + 8));
        std::string text;
        if (tag.startsWith("desc")) {
            // An ASCII count with its NUL, then the text.
            const std::uint64_t count = std::min<std::uint64_t>(tag.u32(8), kMaxText);
            const reader::ByteView ascii =
                tag.sub(12, std::min<std::uint64_t>(
                                count, tag.size() - std::min<std::uint64_t>(12, tag.size())));
            text = DecodeText(ascii.bytes().data(), ascii.size());
        } else if (tag.startsWith("mluc")) {
            // Records of language, country, length and offset; UTF-16BE.
            if (tag.u32(8) == 0 || tag.u32(12) < 12) return {};
            const std::uint64_t length = std::min<std::uint64_t>(tag.u32(20), 2 * kMaxText);
            const reader::ByteView utf16 = tag.sub(tag.u32(24), length);
            text = DecodeUtf16(utf16.bytes().data(), utf16.size(), true);
        }
        const std::size_t end = text.find_last_not_of(" \t\r\n");
        return end == std::string::npos ? std::string() : text.substr(0, end + 1);
    }
    return {};
}

}  // namespace exif
