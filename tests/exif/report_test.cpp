#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exif/metadata_list.h"
#include "exif/report.h"

namespace exif {
namespace {

const std::string kRule(50, '-');

TEST(Report, ExactBytes) {
    struct Case {
        const char* name;
        std::string photoName;
        std::string photoPath;
        std::vector<std::string> labels;
        std::vector<std::string> values;
        std::string expected;
    } cases[] = {
        {"three entries give six lines",
         "a.jpg",
         "/p/a.jpg",
         {"光圈", "厂商", "方向"},
         {"F2.8", "Canon", "1-上/左"},
         "图像：a.jpg\r\n路径：/p/a.jpg\r\n" + kRule +
             "\r\n光圈F2.8\r\n厂商Canon\r\n方向1-上/左\r\n"},
        {"Chinese name in a Chinese folder",
         "猫.jpg",
         "/照片/猫.jpg",
         {},
         {},
         "图像：猫.jpg\r\n路径：/照片/猫.jpg\r\n" + kRule + "\r\n"},
        {"empty list gives the three header lines",
         "",
         "",
         {},
         {},
         "图像：\r\n路径：\r\n" + kRule + "\r\n"},
        {"empty value",
         "a",
         "a",
         {"方向"},
         {""},
         "图像：a\r\n路径：a\r\n" + kRule + "\r\n方向\r\n"},
        {"newline in a value",
         "a",
         "a",
         {"用户注释"},
         {"line one\nline two"},
         "图像：a\r\n路径：a\r\n" + kRule + "\r\n用户注释line one line two\r\n"},
        {"CR LF in a value is two spaces",
         "a",
         "a",
         {"用户注释"},
         {"x\r\ny"},
         "图像：a\r\n路径：a\r\n" + kRule + "\r\n用户注释x  y\r\n"},
        {"newline in the name and the path",
         "new\nline.jpg",
         "/tmp/new\nline.jpg",
         {},
         {},
         "图像：new line.jpg\r\n路径：/tmp/new line.jpg\r\n" + kRule + "\r\n"},
        {"CR in a label",
         "a",
         "a",
         {"x\ry"},
         {"v"},
         "图像：a\r\n路径：a\r\n" + kRule + "\r\nx yv\r\n"},
        {"more labels than values",
         "a",
         "a",
         {"厂商", "型号"},
         {"Canon"},
         "图像：a\r\n路径：a\r\n" + kRule + "\r\n厂商Canon\r\n型号\r\n"},
        {"more values than labels",
         "a",
         "a",
         {"厂商"},
         {"Canon", "stray"},
         "图像：a\r\n路径：a\r\n" + kRule + "\r\n厂商Canon\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildReport(c.photoName, c.photoPath, c.labels, c.values), c.expected) << c.name;
}

TEST(Report, NoByteOrderMarkAndEveryLineEndsInCrLf) {
    const std::string report =
        BuildReport("猫.jpg", "/照片/猫.jpg", {"厂商", "型号"}, {"Canon", "EOS"});
    ASSERT_GE(report.size(), 3u);
    EXPECT_NE(report.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
    std::size_t lines = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (report[i] == '\n') {
            ++lines;
            EXPECT_TRUE(i > 0 && report[i - 1] == '\r') << "bare LF at " << i;
        }
        if (report[i] == '\r') {
            EXPECT_TRUE(i + 1 < report.size() && report[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    EXPECT_EQ(lines, 5u);
}

// Each byte outside a well-formed sequence is one U+FFFD, as QString::fromUtf8
// shows the name on screen.
TEST(Report, NameBytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        const char* name;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"valid text stays", "猫 a.jpg", "猫 a.jpg"},
        {"a stray byte",
         "a\xFF"
         "b",
         "a" + r + "b"},
        {"a cut sequence, one per byte",
         "a\xE4\xB8"
         "b",
         "a" + r + r + "b"},
        {"a lead byte at the end", "a\xC3", "a" + r},
        {"an encoded surrogate", "\xED\xA0\x80", r + r + r},
        {"an overlong slash", "\xC0\xAF", r + r},
        {"a four-byte character stays", "\xF0\x9F\x93\xB7.jpg", "\xF0\x9F\x93\xB7.jpg"},
        {"a GBK name", "\xB2\xE2.jpg", r + r + ".jpg"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"valid before and after", "中\xFF\xFE文", "中" + r + r + "文"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValidUtf8(c.bytes), c.expected) << c.name;
        EXPECT_EQ(BuildReport(c.bytes, "/p/" + c.bytes, {}, {}),
                  "图像：" + c.expected + "\r\n路径：/p/" + c.expected + "\r\n" + kRule + "\r\n")
            << c.name;
    }
}

TEST(Report, OfAnEmptyList) {
    MetadataList list;
    EXPECT_EQ(BuildReport(list), "图像：\r\n路径：\r\n" + kRule + "\r\n");
}

}  // namespace
}  // namespace exif
