#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "exif/text_decode.h"

namespace exif {
namespace {

std::string Decode(const std::string& bytes) {
    return DecodeText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool Utf8(const std::string& bytes) {
    return IsValidUtf8(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(TextDecode, Decodes) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"empty", "", ""},
        {"ASCII with its closing NUL", std::string("Canon\0", 6), "Canon"},
        {"UTF-8 Chinese", "佳能", "佳能"},
        {"UTF-8 four-byte character", "\xF0\x9F\x93\xB7", "\xF0\x9F\x93\xB7"},
        {"GBK bytes of 佳能", "\xBC\xD1\xC4\xDC", "佳能"},
        {"GBK with ASCII", "EOS \xBC\xD1\xC4\xDC", "EOS 佳能"},
        {"GB18030 four-byte sequence", "\x81\x30\x81\x30", "\xC2\x80"},
        {"NUL inside ASCII", std::string("ab\0cd\0", 6), "abcd"},
        {"NUL inside GBK text", std::string("\xBC\xD1\0\xC4\xDC\0", 6), "佳能"},
        {"only NULs", std::string(8, '\0'), ""},
        {"user comment with its code prefix", std::string("ASCII\0\0\0Holiday", 15), "ASCIIHoliday"},
        {"version digits", "0220", "0220"},
        {"invalid byte alone", "\xFF", kReplacement},
        {"invalid byte in the middle", "a\xFF" "b", "a" + kReplacement + "b"},
        {"invalid byte between GBK characters", "\xBC\xD1\xFF\xC4\xDC", "佳" + kReplacement + "能"},
        {"lead byte cut off at the end", "abc\x81", "abc" + kReplacement},
        {"lead byte, then ASCII", "\x81" "\x20" "x", kReplacement + " x"},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.expected) << c.name;
    // Overlong forms must not pass as UTF-8 (they would smuggle a '/' or a
    // NUL past checks); read as GB18030 they give one character, not '/'.
    const std::string overlong = Decode("\xC0\xAF");
    EXPECT_NE(overlong, "/");
    EXPECT_TRUE(Utf8(overlong));
}

TEST(TextDecode, ValidUtf8) {
    struct Case {
        const char* name;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"ASCII", "abc", true},
        {"NUL", std::string("a\0b", 3), true},
        {"two-byte", "\xC2\xA9", true},
        {"three-byte", "猫", true},
        {"four-byte", "\xF0\x9F\x98\x80", true},
        {"highest code point", "\xF4\x8F\xBF\xBF", true},
        {"overlong two-byte", "\xC0\xAF", false},
        {"overlong C1", "\xC1\xBF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"overlong four-byte", "\xF0\x80\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"F5 lead", "\xF5\x80\x80\x80", false},
        {"lone continuation", "\x80", false},
        {"cut three-byte", "\xE7\x8C", false},
        {"cut four-byte", "\xF0\x9F\x98", false},
        {"bad continuation", "\xE7\x41\xAB", false},
        {"GBK 佳能", "\xBC\xD1\xC4\xDC", false},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8(c.bytes), c.valid) << c.name;
}

// Whatever the bytes, the result is valid UTF-8 without NULs.
TEST(TextDecode, AnyBytesGiveCleanText) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
        const std::string text = Decode(bytes);
        ASSERT_TRUE(Utf8(text)) << "round " << round;
        ASSERT_EQ(text.find('\0'), std::string::npos) << "round " << round;
    }
}

TEST(TextDecode, LongInvalidTextIsReplacedWhole) {
    const std::string bytes(60000, '\xFF');
    const std::string text = Decode(bytes);
    ASSERT_EQ(text.size(), 3u * bytes.size());
    EXPECT_EQ(text.substr(0, 3), kReplacement);
    EXPECT_EQ(text.substr(text.size() - 3), kReplacement);
}

}  // namespace
}  // namespace exif
