// exifreport -r: which files a walk reports, in which order, and what it
// says about the rest.
#include "exifreport_fixture.h"

#include <sys/stat.h>

namespace {

using namespace exifreport_test;
using namespace testsupport;

class WalkTest : public ExifReportTest {
protected:
    // photos/
    //   a/                      empty
    //   b/IMG_1.png
    //   c/deep/IMG_3.tif
    //   empty, notes.txt        not photos
    //   IMG_2.jpg, IMG_10.jpg
    //   link-to-2.jpg -> IMG_2.jpg,  same-as-10.jpg: a hard link to IMG_10.jpg
    //   link-to-b -> b,  dangling -> nowhere,  pipe (a FIFO)
    void SetUp() override {
        ExifReportTest::SetUp();
        const auto tiff = BuildTiff(CameraSpec(false)).bytes;
        fs::create_directories(dir_ / "photos/a");
        Write("photos/b/IMG_1.png", Png(tiff));
        Write("photos/c/deep/IMG_3.tif", BuildTiff(CameraSpec(true)).bytes);
        Write("photos/empty", {});
        Write("photos/notes.txt", {'h', 'i', '\n'});
        Write("photos/IMG_2.jpg", Jpeg(tiff));
        Write("photos/IMG_10.jpg", Jpeg(BuildTiff(CameraSpec(true)).bytes));
        fs::create_symlink("IMG_2.jpg", dir_ / "photos/link-to-2.jpg");
        fs::create_hard_link(dir_ / "photos/IMG_10.jpg", dir_ / "photos/same-as-10.jpg");
        fs::create_directory_symlink("b", dir_ / "photos/link-to-b");
        fs::create_symlink("nowhere", dir_ / "photos/dangling");
        ASSERT_EQ(::mkfifo((dir_ / "photos/pipe").c_str(), 0600), 0);
        fs::create_directory_symlink("photos", dir_ / "link-to-photos");
    }

    std::string P(const std::string& relative) const { return (dir_ / relative).string(); }
};

TEST_F(WalkTest, ReportsEachPhotoOnceInNaturalOrder) {
    const std::vector<std::string> walked = {P("photos/b/IMG_1.png"), P("photos/c/deep/IMG_3.tif"),
                                             P("photos/IMG_2.jpg"), P("photos/IMG_10.jpg")};
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> reported;
        std::vector<std::string> complaints;
    } cases[] = {
        {"a folder", {"-r", P("photos")}, walked, {}},
        {"options after the folder, a trailing slash",
         {P("photos") + "/", "--recursive"},
         walked,
         {}},
        {"a named link to a folder is followed",
         {"-r", P("link-to-photos")},
         {P("link-to-photos/b/IMG_1.png"), P("link-to-photos/c/deep/IMG_3.tif"),
          P("link-to-photos/IMG_2.jpg"), P("link-to-photos/IMG_10.jpg")},
         {}},
        {"a folder named twice is walked once",
         {"-r", P("photos"), P("link-to-photos")},
         walked,
         {}},
        {"named files first as given, the walk leaves them out",
         {"-r", P("photos/same-as-10.jpg"), P("photos/notes.txt"), P("photos"),
          P("photos/b/IMG_1.png")},
         {P("photos/same-as-10.jpg"), P("photos/c/deep/IMG_3.tif"), P("photos/IMG_2.jpg"),
          P("photos/b/IMG_1.png")},
         {P("photos/notes.txt") + ": not a JPEG"}},
        {"without -r a folder is named",
         {P("photos"), P("photos/IMG_2.jpg")},
         {P("photos/IMG_2.jpg")},
         {P("photos") + ": is a folder; use -r"}},
    };
    for (const auto& c : cases) {
        const ProcessResult run = Exec(c.args);
        std::string expected;
        for (const std::string& path : c.reported) expected += Expected(path);
        EXPECT_EQ(run.out, expected) << c.name;
        const std::vector<std::string> complaints = Lines(run.err);
        ASSERT_EQ(complaints.size(), c.complaints.size()) << c.name << "\n" << run.err;
        for (std::size_t i = 0; i < complaints.size(); ++i)
            EXPECT_EQ(complaints[i].rfind("exifreport: " + c.complaints[i], 0), 0u)
                << c.name << ": " << complaints[i];
        EXPECT_EQ(run.status, c.complaints.empty() ? 0 : 1) << c.name;
    }
}

// A folder that cannot be read loses photos: the user is told and the exit
// status says so, while the rest of the walk goes on.
TEST_F(WalkTest, UnreadableFolderIsNamedAndTheWalkGoesOn) {
    Write("photos/locked/IMG_4.jpg", Jpeg(BuildTiff(CameraSpec(false)).bytes));
    fs::permissions(dir_ / "photos/locked", fs::perms::none);
    const ProcessResult run = Exec({"-r", P("photos")}, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "exifreport: " + P("photos/locked") + ": Permission denied\n");
    EXPECT_EQ(run.out, Expected(P("photos/b/IMG_1.png")) + Expected(P("photos/c/deep/IMG_3.tif")) +
                           Expected(P("photos/IMG_2.jpg")) + Expected(P("photos/IMG_10.jpg")));
}

// A file named like a photo that cannot be read as one is a photo lost: the
// user is told and the exit status says so. Other files are none of the
// walk's business.
TEST_F(WalkTest, DamagedPhotosAreNamedOtherFilesSkipped) {
    const auto jpeg = Jpeg(BuildTiff(CameraSpec(false)).bytes);
    std::vector<std::uint8_t> zeroed = jpeg;
    std::fill_n(zeroed.begin(), 64, 0);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* complaint;  // nullptr: skipped silently
    } cases[] = {
        {"IMG_0001.JPG", {}, "empty file"},
        {"IMG_0002.jpg", zeroed, "not a JPEG"},
        {"IMG_0003.HEIC", {'f', 't', 'y', 'p'}, "not a JPEG"},
        {"IMG_0004.cr3", std::vector<std::uint8_t>(4096, 0xFF), "not a JPEG"},
        {"notes.txt", zeroed, nullptr},
        {"IMG_0005.jpg.part", {}, nullptr},
        {"README", {'h', 'i'}, nullptr},
        {"photo.tmp", jpeg, nullptr},  // a photo by its content: reported, not named
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_ / "damaged");
        Write(std::string("damaged/") + c.name, c.bytes);
        const ProcessResult run = Exec({"-r", P("damaged")});
        if (c.complaint) {
            EXPECT_EQ(
                run.err.rfind(
                    "exifreport: " + P(std::string("damaged/") + c.name) + ": " + c.complaint, 0),
                0u)
                << c.name << ": " << run.err;
            EXPECT_EQ(Lines(run.err).size(), 1u) << c.name;
            EXPECT_EQ(run.status, 1) << c.name;
        } else {
            EXPECT_EQ(run.err, "") << c.name;
            EXPECT_EQ(run.status, 0) << c.name;
        }
        EXPECT_EQ(run.out, c.bytes == jpeg ? Expected(P(std::string("damaged/") + c.name)) : "")
            << c.name;
    }
}

TEST_F(WalkTest, AFolderWithoutPhotosReportsNothing) {
    const ProcessResult run = Exec({"-r", P("photos/a")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

}  // namespace
