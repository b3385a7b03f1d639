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
        {"other texts keep a comment's code", std::string("ASCII\0\0\0Holiday", 15),
         "ASCIIHoliday"},
        {"version digits", "0220", "0220"},
        {"invalid byte alone", "\xFF", kReplacement},
        {"invalid byte in the middle",
         "a\xFF"
         "b",
         "a" + kReplacement + "b"},
        {"invalid byte between GBK characters", "\xBC\xD1\xFF\xC4\xDC", "佳" + kReplacement + "能"},
        {"lead byte cut off at the end", "abc\x81", "abc" + kReplacement},
        {"lead byte, then ASCII",
         "\x81"
         "\x20"
         "x",
         kReplacement + " x"},
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

using namespace std::string_literals;

std::string Comment(const std::string& bytes, bool bigEndianFile) {
    return DecodeUserComment(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                             bigEndianFile);
}

TEST(TextDecode, UserComment) {
    const std::string unicode = "UNICODE\0"s;
    const std::string ascii = "ASCII\0\0\0"s;
    const std::string undefined(8, '\0');
    struct Case {
        const char* name;
        std::string bytes;
        bool bigEndianFile;
        std::string expected;
    } cases[] = {
        {"ASCII", ascii + "Holiday", false, "Holiday"},
        {"ASCII padded with NULs and spaces", ascii + "Holiday  \0\0\0\0 "s, true, "Holiday"},
        {"ASCII code with GBK text", ascii + "\xBC\xD1\xC4\xDC", false, "佳能"},
        {"undefined code", undefined + "Holiday", false, "Holiday"},
        {"undefined code, all NULs (a camera's empty comment)", undefined + std::string(256, '\0'),
         false, ""},
        {"only spaces", ascii + "      ", false, ""},
        {"JIS code is not shown", "JIS\0\0\0\0\0abc"s, false, "abc"},
        {"unknown code is not shown", "XYZ12345hello", false, "hello"},
        {"shorter than a code: all comment", "Hi", true, "Hi"},
        {"empty", "", false, ""},
        {"UNICODE in a big-endian file", unicode + "\x4F\x60\x59\x7D\x00\x20\x00\x77"s, true,
         "你好 w"},
        {"UNICODE in a little-endian file", unicode + "\x60\x4F\x7D\x59\x20\x00\x77\x00"s, false,
         "你好 w"},
        {"UNICODE code padded with a space", "UNICODE \x60\x4F", false, "你"},
        {"byte-order mark wins over a little-endian file", unicode + "\xFE\xFF\x4F\x60", false,
         "你"},
        {"byte-order mark wins over a big-endian file", unicode + "\xFF\xFE\x60\x4F", true, "你"},
        {"surrogate pair", unicode + "\xD8\x3D\xDC\xF7", true, "\xF0\x9F\x93\xB7"},
        {"lone high surrogate", unicode + "\xD8\x3D\x00\x41"s, true, kReplacement + "A"},
        {"high surrogate at the end", unicode + "\x00\x41\xD8\x3D"s, true, "A" + kReplacement},
        {"odd byte at the end", unicode + "\x00\x41\x42"s, true, "A" + kReplacement},
        {"odd NUL at the end", unicode + "\x00\x41\x00"s, true, "A"},
        {"UTF-16 NULs and spaces at the end", unicode + "\x41\x00\x20\x00\x00\x00"s, false, "A"},
        {"UTF-16 NUL in the middle", unicode + "\x41\x00\x00\x00\x42\x00"s, false, "AB"},
        {"ASCII-looking bytes after UNICODE are UTF-16", unicode + "ab", false, "\xE6\x89\xA1"},
    };
    for (const Case& c : cases) EXPECT_EQ(Comment(c.bytes, c.bigEndianFile), c.expected) << c.name;
}

// Whatever the bytes, a comment is valid UTF-8 without NULs or trailing spaces.
TEST(TextDecode, AnyCommentGivesCleanText) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 4000; ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
        if (round % 2 == 0) bytes.insert(0, "UNICODE\0"s);
        const std::string text = Comment(bytes, round % 4 < 2);
        ASSERT_TRUE(Utf8(text)) << "round " << round;
        ASSERT_EQ(text.find('\0'), std::string::npos) << "round " << round;
        ASSERT_TRUE(text.empty() || text.back() != ' ') << "round " << round;
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
