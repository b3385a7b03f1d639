// Runs the exifreport program as a user would and checks its bytes, its
// complaints and its exit status.
#include "exifreport_fixture.h"

#include "exif/extra_rows.h"

#include <sys/stat.h>

namespace {

using namespace exifreport_test;
using namespace testsupport;

const std::string kNotAPhoto =
    "not a JPEG, TIFF, PNG, WebP, HEIC/HEIF, AVIF, camera raw (DNG, CR2, CR3, NEF, NRW, ARW, ORF, "
    "RW2, RAF, PEF, "
    "SRW), BMP or GIF file";

TEST_F(ExifReportTest, WritesEachReportInTurn) {
    const std::string jpeg = Write("相机.jpg", Jpeg(BuildTiff(CameraSpec(false)).bytes));
    const std::string tiff = Write("scan.tif", BuildTiff(CameraSpec(true)).bytes);
    const std::string gif = Write("anim.gif", Gif());

    const ProcessResult run = Exec({jpeg, tiff, gif});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, Expected(jpeg) + Expected(tiff) + Expected(gif));
    EXPECT_NE(run.out.find("图像：相机.jpg\r\n路径：" + jpeg + "\r\n"), std::string::npos);
    EXPECT_NE(run.out.find("光圈F2.8\r\n"), std::string::npos);
}

TEST_F(ExifReportTest, NameAndPathAreAsGiven) {
    Write("a.jpg", Jpeg(BuildTiff(CameraSpec(false)).bytes));
    const std::string relative = (dir_ / "." / "a.jpg").string();
    const ProcessResult run = Exec({relative});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(
                  "图像：a.jpg\r\n路径：" + relative + "\r\n" + std::string(50, '-') + "\r\n", 0),
              0u);
}

TEST_F(ExifReportTest, BadFilesAreNamedAndTheOthersGoOn) {
    const std::string good = Write("good.png", Png(BuildTiff(CameraSpec(false)).bytes));
    const std::string text = Write("notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string empty = Write("empty.jpg", {});
    const std::string missing = (dir_ / "missing.jpg").string();
    const std::string folder = (dir_ / "folder.jpg").string();
    fs::create_directories(folder);

    const ProcessResult run = Exec({text, good, missing, empty, folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Expected(good));

    const struct {
        std::string path;
        std::string reason;
    } complaints[] = {
        {text, kNotAPhoto},
        {missing, "No such file or directory"},
        {empty, "empty file"},
        {folder, "is a folder; use -r"},
    };
    std::istringstream lines(run.err);
    for (const auto& c : complaints) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << c.path;
        EXPECT_EQ(line, "exifreport: " + c.path + ": " + c.reason);
    }
    std::string extra;
    EXPECT_FALSE(std::getline(lines, extra)) << extra;
}

TEST_F(ExifReportTest, UnreadableFileIsReported) {
    const std::string locked = Write("locked.jpg", Jpeg(BuildTiff(CameraSpec(false)).bytes));
    ::chmod(locked.c_str(), 0);
    const ProcessResult run = Exec({locked}, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "exifreport: " + locked + ": Permission denied\n");
}

TEST_F(ExifReportTest, UsageErrorsAndHelp) {
    const std::string photo = Write("a.jpg", Jpeg(BuildTiff(CameraSpec(false)).bytes));
    const struct {
        std::vector<std::string> args;
        int status;
        bool usageOnStdout;
    } cases[] = {
        {{}, 2, false},
        {{"-r"}, 2, false},
        {{"--csv", "--json", photo}, 2, false},
        {{"--csv", "--csv", photo}, 2, false},
        {{"--xml", photo}, 2, false},
        {{"--help"}, 0, true},
        {{photo, "--help"}, 0, true},
    };
    for (const auto& c : cases) {
        const ProcessResult run = Exec(c.args);
        const std::string name = ::testing::PrintToString(c.args);
        EXPECT_EQ(run.status, c.status) << name;
        const std::string& usage = c.usageOnStdout ? run.out : run.err;
        EXPECT_NE(usage.find("usage: exifreport [-r] [--csv | --json] PHOTO|FOLDER...\n"),
                  std::string::npos)
            << name;
        EXPECT_EQ(c.usageOnStdout ? run.err : run.out, "") << name;
    }
}

// "--" ends the options, so a file may be called "-r".
TEST_F(ExifReportTest, FilesNamedLikeOptions) {
    Write("-r", Jpeg(BuildTiff(CameraSpec(false)).bytes));
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    const ProcessResult run = Exec({"--", "-r"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Expected("-r"));
    fs::current_path(before);
}

// A name may hold a line break or a terminal's escape codes: each complaint
// stays one line, and nothing in it reaches the terminal as a control.
TEST_F(ExifReportTest, NamesInComplaintsAreEscaped) {
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"two\nlines.txt", "two\\nlines.txt"},
        {"\x1b[2J\x1b]0;title\a.txt", "\\x1b[2J\\x1b]0;title\\x07.txt"},
        {"gbk\xB2\xE2.txt", "gbk\\xb2\\xe2.txt"},
        {"照片\r.txt", "照片\\r.txt"},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.name, {'n', 'o'});
        const ProcessResult run = Exec({path});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err,
                  "exifreport: " + dir_.string() + "/" + c.shown + ": " + kNotAPhoto + "\n");
    }
}

TEST_F(ExifReportTest, PhotoWithoutMetadataGivesTheHeaderAndItsSize) {
    const std::vector<std::uint8_t> bytes = Bmp();
    const std::string bmp = Write("plain.bmp", bytes);
    const ProcessResult run = Exec({bmp});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "图像：plain.bmp\r\n路径：" + bmp + "\r\n" + std::string(50, '-') +
                           "\r\n文件大小" + exif::FileSizeText(bytes.size()) + "\r\n");
}

}  // namespace
