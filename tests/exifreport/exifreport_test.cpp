// Runs the exifreport program as a user would and checks its bytes, its
// complaints and its exit status.
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/property_items.h"
#include "shell_quote.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ExifReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("exifreport-test-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = (dir_ / name).string();
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    // `asUser`: without root's permission override, so file modes count.
    ProcessResult Exec(const std::vector<std::string>& args, bool asUser = false) {
        std::string command = ShellQuote(EXIFREPORT_PATH);
        if (asUser && ::geteuid() == 0) command = "setpriv --bounding-set=-dac_override,-dac_read_search " + command;
        for (const auto& a : args) command.append(" ").append(ShellQuote(a));
        const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
        command.append(" >").append(ShellQuote(out.string())).append(" 2>").append(ShellQuote(err.string()));
        ProcessResult run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = Slurp(out);
        run.err = Slurp(err);
        return run;
    }

    // The report the viewer's save command writes for this photo.
    static std::string Expected(const std::string& path) {
        exif::MetadataList list;
        list.SetPhoto(path);
        reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
        list.LoadMetadata(&image);
        return exif::BuildReport(list);
    }

    fs::path dir_;
};

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
    EXPECT_EQ(run.out.rfind("图像：a.jpg\r\n路径：" + relative + "\r\n" + std::string(50, '-') + "\r\n", 0), 0u);
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
        {text, "not a JPEG, TIFF, PNG, WebP, BMP or GIF file"},
        {missing, "No such file or directory"},
        {empty, "not a JPEG, TIFF, PNG, WebP, BMP or GIF file"},
        {folder, "Is a directory"},
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

TEST_F(ExifReportTest, UsageWithoutPhotos) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"--help"}}) {
        const ProcessResult run = Exec(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("usage: exifreport PHOTO...", 0), 0u);
    }
}

TEST_F(ExifReportTest, PhotoWithoutMetadataGivesTheHeaderOnly) {
    const std::string bmp = Write("plain.bmp", Bmp());
    const ProcessResult run = Exec({bmp});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "图像：plain.bmp\r\n路径：" + bmp + "\r\n" + std::string(50, '-') + "\r\n");
}

}  // namespace
