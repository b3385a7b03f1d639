#include "reader/property_png_text.h"

#include <zlib.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace reader {
namespace {

using Bytes = std::span<const std::uint8_t>;

bool Starts(Bytes bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

char Lower(std::uint8_t byte) {
    return static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
}

// The bytes after the first NUL, or nothing when there is none.
std::optional<Bytes> AfterNul(Bytes bytes) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (nul == bytes.end()) return std::nullopt;
    return bytes.subspan(static_cast<std::size_t>(nul - bytes.begin()) + 1);
}

}  // namespace

// The zlib stream inflated, at most `cap` bytes; nothing when it would be
// longer. A stream that breaks off gives what came before.
std::optional<std::vector<std::uint8_t>> Inflate(Bytes compressed, std::size_t cap) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    std::vector<std::uint8_t> text;
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (text.size() == cap) {
            inflateEnd(&stream);
            return std::nullopt;
        }
        const std::size_t done = text.size();
        text.resize(std::min(cap, std::max<std::size_t>(2 * done, 64 * 1024)));
        stream.next_out = text.data() + done;
        stream.avail_out = static_cast<uInt>(text.size() - done);
        status = inflate(&stream, Z_NO_FLUSH);
        text.resize(text.size() - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) break;  // the input ends early
    }
    inflateEnd(&stream);
    return text;
}

namespace {

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// "\n<name>\n<length>\n" and the hex digits of `length` bytes.
std::optional<std::vector<std::uint8_t>> ParseProfile(Bytes text) {
    if (text.empty() || text[0] != '\n') return std::nullopt;
    const auto nameEnd = std::find(text.begin() + 1, text.end(), std::uint8_t{'\n'});
    std::size_t at = static_cast<std::size_t>(nameEnd - text.begin());
    while (at < text.size() && IsSpace(text[at])) ++at;
    std::uint64_t length = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (digits == 10) return std::nullopt;  // no profile is that long
        length = length * 10 + (text[at] - '0');
    }
    if (digits == 0 || at == text.size() || text[at] != '\n') return std::nullopt;
    ++at;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, (text.size() - at) / 2)));
    int high = -1;
    for (; at < text.size() && bytes.size() < length; ++at) {
        const std::uint8_t c = text[at];
        if (IsSpace(c)) continue;
        const int digit = HexDigit(c);
        if (digit < 0) break;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return bytes;
}

}  // namespace

std::optional<PngText> PngTextKind(std::span<const std::uint8_t> type) {
    if (Starts(type, "tEXt")) return PngText::Plain;
    if (Starts(type, "zTXt")) return PngText::Compressed;
    if (Starts(type, "iTXt")) return PngText::International;
    return std::nullopt;
}

bool IsRawProfileKeyword(std::span<const std::uint8_t> data) {
    constexpr std::string_view kPrefix = "Raw profile type ";
    if (!Starts(data, kPrefix) || data.size() < kPrefix.size() + 5 || data[kPrefix.size() + 4] != 0)
        return false;
    std::string name;
    for (std::size_t i = 0; i < 4; ++i) name += Lower(data[kPrefix.size() + i]);
    return name == "exif" || name == "app1";
}

bool IsXmpKeyword(std::span<const std::uint8_t> data) {
    return Starts(data, std::string_view("XML:com.adobe.xmp\0", 18));
}

std::optional<std::vector<std::uint8_t>> XmpText(std::span<const std::uint8_t> data,
                                                 std::size_t cap) {
    std::optional<Bytes> rest = AfterNul(data);
    if (!rest || rest->size() < 2) return std::nullopt;
    const bool compressed = (*rest)[0] != 0;
    if (compressed && (*rest)[1] != 0) return std::nullopt;
    rest = AfterNul(rest->subspan(2));  // the language tag
    if (rest) rest = AfterNul(*rest);   // the translated keyword
    if (!rest) return std::nullopt;
    if (compressed) return Inflate(*rest, cap);
    if (rest->size() > cap) return std::nullopt;
    return std::vector<std::uint8_t>(rest->begin(), rest->end());
}

std::optional<std::vector<std::uint8_t>> IccProfile(std::span<const std::uint8_t> data,
                                                    std::size_t cap) {
    const std::optional<Bytes> rest = AfterNul(data);  // past the profile's name
    if (!rest || rest->empty() || (*rest)[0] != 0) return std::nullopt;
    return Inflate(rest->subspan(1), cap);
}

std::optional<std::vector<std::uint8_t>> RawProfileBytes(std::span<const std::uint8_t> data,
                                                         PngText kind) {
    std::optional<Bytes> rest = AfterNul(data);  // past the keyword
    if (!rest) return std::nullopt;
    bool compressed = kind == PngText::Compressed;
    if (kind == PngText::International) {
        // Compression flag and method, then language tag and translated
        // keyword, each ended by a NUL.
        if (rest->size() < 2) return std::nullopt;
        compressed = (*rest)[0] != 0;
        if (compressed && (*rest)[1] != 0) return std::nullopt;
        rest = AfterNul(rest->subspan(2));
        if (rest) rest = AfterNul(*rest);
        if (!rest) return std::nullopt;
    } else if (kind == PngText::Compressed) {
        if (rest->empty() || (*rest)[0] != 0) return std::nullopt;  // deflate is the only method
        rest = rest->subspan(1);
    }
    if (!compressed) return ParseProfile(*rest);
    const std::optional<std::vector<std::uint8_t>> text = Inflate(*rest, kMaxPngProfileText);
    if (!text) return std::nullopt;
    return ParseProfile(*text);
}

}  // namespace reader
