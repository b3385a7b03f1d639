// Files that are not what they claim: no crash, no hang, no huge
// allocation; either a preview or the empty state with the earlier photo's
// name, path and list kept.
#include "panel_fixture.h"

#include "controls/flat_scroll_bar.h"
#include "photo/problem.h"
#include "tiff_builder.h"

#include <QFrame>
#include <sys/resource.h>

namespace paneltest {
namespace {

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A PNG claiming width x height over a few bytes of data.
QByteArray Claiming(std::uint32_t width, std::uint32_t height) {
    const std::vector<std::uint8_t> png = testsupport::PngClaiming(width, height);
    return QByteArray(reinterpret_cast<const char*>(png.data()),
                      static_cast<qsizetype>(png.size()));
}

// A JPEG whose frame header claims width x height.
QByteArray ClaimingJpeg(std::uint16_t width, std::uint16_t height) {
    QByteArray jpeg = Encode(Solid(16, 16, Qt::red), "jpeg");
    const int sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0) return QByteArray();
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

// A noisy picture, so that its JPEG is long enough to cut in the middle of
// the scan.
QImage Noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
    }
    return image;
}

// Exif blocks that lie: entry counts past the end, values outside the
// block, a directory that points at itself.
std::vector<std::uint8_t> BrokenBlock() {
    testsupport::TiffSpec tiff = testsupport::CameraSpec();
    testsupport::TiffLayout layout = testsupport::BuildTiff(tiff);
    std::vector<std::uint8_t>& bytes = layout.bytes;
    testsupport::PutU16(bytes, layout.exif, 0xFFFF, false);  // count beyond the block
    testsupport::PutU32(bytes, layout.entry(layout.ifd0, 0) + 8, 0xFFFFFFF0u,
                        false);  // make's text outside
    testsupport::PutU32(bytes, layout.entry(layout.gps, 1) + 4, 0x40000000u,
                        false);  // a huge count
    return bytes;
}

TEST_F(PanelTest, BadFilesNeverCrashHangOrAllocateHugely) {
    const QString good = Photo("good.jpg", 64, 48, 12);
    const QByteArray noisy = WithExifJpeg(Encode(Noise(640, 480), "jpeg"), TitleBlock(3));
    // What the panel makes of each: the photo drawn; the photo shown with the
    // placeholder and the reason (its header or its metadata could be read);
    // or the empty state with the line saying why, the earlier photo kept.
    enum class Shown { Preview, Placeholder, CannotOpen };
    struct Case {
        const char* name;
        QByteArray bytes;
        Shown shown;
        photo::Problem reason;  // of the placeholder or the line
        int entries;            // list rows of a shown photo (-1: not checked)
    };
    using photo::Problem;
    const Case cases[] = {
        {"empty file", QByteArray(), Shown::CannotOpen, Problem::NotAPhoto, 0},
        {"text file", QByteArray("Dear diary,\nnothing to see.\n"), Shown::CannotOpen,
         Problem::NotAPhoto, 0},
        {"JPEG start only", QByteArray("\xFF\xD8\xFF", 3), Shown::CannotOpen, Problem::Damaged, 0},
        {"JPEG cut in its header", noisy.left(200), Shown::Placeholder, Problem::Damaged, -1},
        {"JPEG cut in its scan", noisy.left(noisy.size() / 2), Shown::Preview, Problem::None,
         4},  // three titles and the size
        {"PNG claiming 60000 x 60000", Claiming(60000, 60000), Shown::Placeholder,
         Problem::TooLarge, 1},
        {"JPEG claiming 65000 x 65000", ClaimingJpeg(65000, 65000), Shown::Placeholder,
         Problem::TooLarge, 1},
        // Its header cut short: neither a size nor metadata to show.
        {"PNG with a header only", Claiming(64, 48).left(33), Shown::CannotOpen, Problem::Damaged,
         0},
        {"JPEG with broken metadata",
         WithExifJpeg(Encode(Solid(64, 48, Qt::red), "jpeg"), BrokenBlock()), Shown::Preview,
         Problem::None, -1},
    };
    const long peakBefore = PeakKilobytes();
    for (const Case& c : cases) {
        OpenPhoto(good);
        ASSERT_EQ(panel->metadata().EntryCount(), 12u) << c.name;
        const QString path = Write("bad.jpg", c.bytes);
        OpenPhoto(path);
        EXPECT_EQ(panel->reason(), photo::reasonText(c.reason)) << c.name;
        if (c.shown != Shown::CannotOpen) {
            EXPECT_TRUE(panel->showsPhoto()) << c.name;
            EXPECT_EQ(panel->photoFile(), path.toStdString()) << c.name;
            EXPECT_FALSE(panel->hintIcon()->isVisible()) << c.name;
            EXPECT_TRUE(panel->listViewport()->isVisible()) << c.name << ": its metadata is listed";
            if (c.entries >= 0) {
                EXPECT_EQ(panel->metadata().EntryCount(), static_cast<std::size_t>(c.entries))
                    << c.name;
            }
            // The photo's pixels, or the placeholder's light grey box.
            const QRect box = panel->previewRect();
            ASSERT_TRUE(box.isValid()) << c.name;
            const QRgb middle = panel->surface().pixel(box.center());
            if (c.shown == Shown::Placeholder) EXPECT_EQ(middle, kPlaceholderGrey) << c.name;
            else EXPECT_NE(middle, kPlaceholderGrey) << c.name;
        } else {
            EXPECT_FALSE(panel->showsPhoto()) << c.name;
            EXPECT_EQ(panel->photoFile(), good.toStdString())
                << c.name << ": the earlier photo is kept";
            EXPECT_EQ(panel->photoName(), "good.jpg") << c.name;
            EXPECT_EQ(Labels().size(), 12u) << c.name;
            EXPECT_EQ(panel->photoWidth(), 64) << c.name;
            EXPECT_TRUE(panel->hintIcon()->isVisible()) << c.name << ": the empty state";
            EXPECT_FALSE(panel->listViewport()->isVisible()) << c.name;
            EXPECT_FALSE(panel->scrollBar()->isVisible()) << c.name;
            EXPECT_FALSE(Bounds(panel->surface(), QRect(0, 0, 200, 418), IsRed).isValid())
                << c.name << ": no preview left";
            EXPECT_TRUE(Bounds(panel->surface(), kReasonLine, IsInk).isValid())
                << c.name << ": the line saying why";
        }
    }
    // Qt's own buffers and the test photos stay well below this; a decode of
    // any claimed size in the viewer would not.
    EXPECT_LT(PeakKilobytes() - peakBefore, 256 * 1024);
}

TEST_F(PanelTest, BrokenMetadataStillListsWhatCanBeRead) {
    OpenPhoto(
        Write("broken.jpg", WithExifJpeg(Encode(Solid(64, 48, Qt::red), "jpeg"), BrokenBlock())));
    const std::vector<std::string> labels = Labels();
    EXPECT_FALSE(labels.empty());
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "型号"), 1) << "the model is intact";
    EXPECT_EQ(panel->scrollBar()->isVisible(), !labels.empty());
}

}  // namespace
}  // namespace paneltest
