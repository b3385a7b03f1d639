// The parts of exifreport that can be called on their own: the name order,
// the escaping of names in messages, the progress line.
#include "exifreport/natural_order.h"
#include "exifreport/progress_line.h"
#include "exifreport/terminal_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace exifreport {
namespace {

TEST(NaturalOrder, SortsAsPeopleNumberPhotos) {
    const std::vector<std::vector<std::string>> sorted = {
        {"IMG_2.JPG", "IMG_10.JPG", "IMG_100.JPG"},
        {"IMG_0009.JPG", "IMG_0010.JPG", "img_0011.jpg", "IMG_0012.JPG"},
        {"a", "a1", "a1b", "a2", "ab"},
        {"007", "7", "08", "9"},  // equal values fall back to the bytes
        {"x1.2.jpg", "x1.10.jpg", "x2.1.jpg"},
        {"DSC 9.jpg", "DSC 99999999999999999999998.jpg", "DSC 99999999999999999999999.jpg",
         "DSC 100000000000000000000000.jpg"},
        {"Z.jpg", "照片2.jpg", "照片10.jpg"},
        {"", "0", "00", "a"},
    };
    std::mt19937 shuffle(1);
    for (const auto& expected : sorted) {
        for (int round = 0; round < 5; ++round) {
            std::vector<std::string> names = expected;
            std::shuffle(names.begin(), names.end(), shuffle);
            std::sort(names.begin(), names.end(),
                      [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
            EXPECT_EQ(names, expected);
        }
    }
}

// std::sort needs a strict weak order; a total one makes the output the same
// whatever order the folder lists its names in.
TEST(NaturalOrder, IsATotalOrderOverDistinctNames) {
    const std::vector<std::string> names = {
        "",  "a",  "A",   "a0", "a00", "a1", "A1", "a01",  "a10", "a9",   "a9b",   "ab",
        "1", "01", "001", "10", "9",   "z",  "_",  "\xFF", "é",   "照片", "照片1", "a 1"};
    for (const auto& a : names) {
        EXPECT_FALSE(NaturalLess(a, a)) << a;
        for (const auto& b : names) {
            if (a != b) {
                EXPECT_NE(NaturalLess(a, b), NaturalLess(b, a)) << a << " | " << b;
            }
            for (const auto& c : names) {
                if (NaturalLess(a, b) && NaturalLess(b, c)) {
                    EXPECT_TRUE(NaturalLess(a, c)) << a << " < " << b << " < " << c;
                }
            }
        }
    }
}

TEST(TerminalText, EscapesWhatCouldBreakTheLineOrSteerTheTerminal) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"photos/IMG_1.JPG", "photos/IMG_1.JPG"},
        {"照片/猫 1.jpg", "照片/猫 1.jpg"},
        {"a\nb", "a\\nb"},
        {"a\r\tb", "a\\r\\tb"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"bell\a", "bell\\x07"},
        {"del\x7f", "del\\x7f"},
        {"c1 \xC2\x9B"
         "31m",
         "c1 \\xc2\\x9b31m"},
        {"no-break\xC2\xA0space", "no-break\xC2\xA0space"},
        {"back\\slash", "back\\\\slash"},
        {"gbk \xB2\xE2", "gbk \\xb2\\xe2"},
        {"cut \xE7\x8C", "cut \\xe7\\x8c"},
        {std::string("nul\0x", 5), "nul\\x00x"},
    };
    for (const auto& c : cases) EXPECT_EQ(TerminalText(c.text), c.expected) << c.expected;
}

// A report on a terminal keeps its layout; only what could steer the terminal
// is escaped.
TEST(TerminalText, ReportsKeepTabsLineEndsAndBackslashes) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"厂商Canon\r\n型号EOS\r\n", "厂商Canon\r\n型号EOS\r\n"},
        {"a\tb C:\\photos", "a\tb C:\\photos"},
        {"厂商\x1b]52;c;ZXZpbA==\x07\r\n", "厂商\\x1b]52;c;ZXZpbA==\\x07\r\n"},
        {"\xC2\x9B"
         "2J\x7f",
         "\\xc2\\x9b2J\\x7f"},
        {"gbk \xB2\xE2", "gbk \\xb2\\xe2"},
    };
    for (const auto& c : cases) EXPECT_EQ(TerminalReportText(c.text), c.expected) << c.expected;
}

class ProgressLineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::pipe2(fds_, O_NONBLOCK), 0); }
    void TearDown() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    std::string Drawn() {
        std::string out;
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(fds_[0], chunk, sizeof chunk)) > 0)
            out.append(chunk, static_cast<std::size_t>(n));
        return out;
    }
    int fds_[2] = {-1, -1};
};

TEST_F(ProgressLineTest, AppearsAfterTheHundredthPhotoAndIsClearedAtTheEnd) {
    ProgressLine progress(fds_[1], true, std::nullopt);
    for (std::size_t i = 0; i < ProgressLine::kMinimumPhotos; ++i) progress.Step("photos/2024");
    progress.Clear();
    EXPECT_EQ(Drawn(), "");  // a short run shows nothing, and has nothing to clear

    progress.Step("photos/2025");
    EXPECT_EQ(Drawn(), "\r\x1b[Kexifreport: 101 photos  photos/2025");
    for (int i = 0; i < 50; ++i) progress.Step("photos/2025");
    EXPECT_EQ(Drawn(), "");  // redrawn only now and then
    progress.Clear();
    EXPECT_EQ(Drawn(), "\r\x1b[K");
    progress.Step("");  // drawn again at once after a message cleared it
    EXPECT_EQ(Drawn(), "\r\x1b[Kexifreport: 152 photos  .");
}

TEST_F(ProgressLineTest, ShowsTheTotalWhenKnownFromTheStart) {
    ProgressLine progress(fds_[1], true, ProgressLine::kMinimumPhotos + 1);
    progress.Step("a");
    EXPECT_EQ(Drawn(), "\r\x1b[Kexifreport: 1/101 photos  a");

    ProgressLine few(fds_[1], true, ProgressLine::kMinimumPhotos);
    few.Step("a");
    EXPECT_EQ(Drawn(), "");
}

TEST_F(ProgressLineTest, NothingWhenNotWanted) {
    ProgressLine progress(fds_[1], false, 1000);
    for (int i = 0; i < 500; ++i) progress.Step("a");
    progress.Clear();
    EXPECT_EQ(Drawn(), "");
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// A line wider than the terminal would wrap, and clearing it would leave its
// first part behind. A pipe has no width: 80 columns are assumed.
TEST_F(ProgressLineTest, LongFoldersKeepTheirEndAndTheLineFits) {
    const std::string prefix = "\r\x1b[Kexifreport: 1/500 photos  ";
    const struct {
        std::string folder;
        std::string shown;
    } cases[] = {
        {"short/enough", "short/enough"},
        {std::string(100, 'a') + "/end", "..." + std::string(46, 'a') + "/end"},
        {std::string(60, 'b') + "/照片照片", "..." + std::string(41, 'b') + "/照片照片"},
        {Repeat("照片", 15), "...片" + Repeat("照片", 12)},
        {"x/" + std::string(60, 'y') + "\n\x1b", "..." + std::string(44, 'y') + "\\n\\x1b"},
    };
    for (const auto& c : cases) {
        ProgressLine progress(fds_[1], true, 500);
        progress.Step(c.folder);
        EXPECT_EQ(Drawn(), prefix + c.shown);
    }
}

}  // namespace
}  // namespace exifreport
