#include "exif/text_decode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

#include "exif/report.h"

namespace exif {

bool IsValidUtf8(const std::uint8_t* bytes, std::size_t length) {
    std::size_t i = 0;
    while (i < length) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra;
        std::uint8_t low = 0x80, high = 0xBF;  // range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (length - i <= extra) return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (std::size_t k = 2; k <= extra; ++k)
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Opening a converter loads a module and builds tables; a photo has many text
// items and a batch many photos, so each thread keeps one open.
class Gb18030Converter {
public:
    Gb18030Converter() : handle_(iconv_open("UTF-8", "GB18030")) {}
    ~Gb18030Converter() {
        if (ok()) iconv_close(handle_);
    }
    Gb18030Converter(const Gb18030Converter&) = delete;
    Gb18030Converter& operator=(const Gb18030Converter&) = delete;

    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    std::string convert(const std::uint8_t* bytes, std::size_t length) {
        std::string out;
        if (!ok()) {
            // No converter on this system: keep the ASCII, mark the rest.
            for (std::size_t i = 0; i < length; ++i) {
                if (bytes[i] < 0x80) out.push_back(static_cast<char>(bytes[i]));
                else out += kReplacement;
            }
            return out;
        }
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // initial state
        // GB18030 takes at most 4 bytes per character and UTF-8 writes at most
        // 4, so room for the input plus one replacement never runs short; the
        // loop still grows the output when iconv asks for more.
        out.resize(length + 16);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
        std::size_t inLeft = length;
        std::size_t used = 0;
        while (inLeft > 0) {
            char* dst = out.data() + used;
            std::size_t outLeft = out.size() - used;
            const std::size_t rc = iconv(handle_, &in, &inLeft, &dst, &outLeft);
            used = out.size() - outLeft;
            if (rc != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2 + 16);
                continue;
            }
            // EILSEQ (invalid) or EINVAL (cut short at the end): one
            // replacement for the offending byte, then go on after it.
            if (out.size() - used < sizeof kReplacement) out.resize(out.size() * 2 + 16);
            std::copy(kReplacement, kReplacement + 3, out.data() + used);
            used += 3;
            ++in;
            --inLeft;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t handle_;
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string DecodeUtf16(const std::uint8_t* bytes, std::size_t length, bool bigEndian) {
    if (length >= 2 &&
        ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE))) {
        bigEndian = bytes[0] == 0xFE;
        bytes += 2;
        length -= 2;
    }
    const auto unit = [&](std::size_t k) -> char16_t {
        const std::uint8_t* p = bytes + 2 * k;
        return static_cast<char16_t>(bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
    };
    const std::size_t units = length / 2;
    std::string out;
    out.reserve(length + length / 2);
    for (std::size_t k = 0; k < units; ++k) {
        const char16_t c = unit(k);
        if (c >= 0xD800 && c <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 &&
            unit(k + 1) <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += kReplacement;
        } else {
            AppendUtf8(out, c);
        }
    }
    // A NUL left over is padding like any other NUL; anything else is a unit cut short.
    if (length % 2 == 1 && bytes[length - 1] != 0) out += kReplacement;
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
}

std::string DecodeUtf8(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    if (IsValidUtf8(bytes, length)) {
        text.assign(reinterpret_cast<const char*>(bytes), length);
    } else {
        text = ValidUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length));
    }
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

std::string DecodeText(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    if (length == 0) return text;
    if (IsValidUtf8(bytes, length)) {
        text.assign(reinterpret_cast<const char*>(bytes), length);
    } else {
        thread_local Gb18030Converter converter;
        text = converter.convert(bytes, length);
    }
    // In UTF-8 a zero byte is always U+0000 itself, never part of another character.
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

std::string DecodeUserComment(const std::uint8_t* bytes, std::size_t length, bool bigEndianFile) {
    constexpr std::size_t kCodeLength = 8;
    std::string text;
    if (length < kCodeLength) {
        text = DecodeText(bytes, length);
    } else if (std::memcmp(bytes, "UNICODE", 7) == 0 && (bytes[7] == 0 || bytes[7] == ' ')) {
        text = DecodeUtf16(bytes + kCodeLength, length - kCodeLength, bigEndianFile);
    } else {
        text = DecodeText(bytes + kCodeLength, length - kCodeLength);
    }
    // NULs are gone already; writers pad with spaces too.
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace exif
