// The panel with the photos people take today: turned JPEGs, HEIC and camera
// raw files shown upright with their upright size in the caption, while the
// list keeps the stored orientation; broken HEIF and raw files show their
// metadata and the placeholder, or, with nothing readable, the empty state
// and the reason.
#include "panel_fixture.h"

#include "dng_writer.h"
#include "heif_writer.h"
#include "rgb_bytes.h"
#include "tiff_builder.h"

#include <QFrame>
#include <QPainter>
#include <sys/resource.h>

namespace paneltest {
namespace {

using testsupport::Rgb;

bool IsBlue(QRgb pixel) { return qBlue(pixel) > 200 && qRed(pixel) < 60 && qGreen(pixel) < 60; }

// Top half red, bottom half blue, as stored: turned a quarter clockwise
// (orientation 6) the red half stands on the right.
QImage TopRedBottomBlue(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, width, height / 2, Qt::red);
    return image;
}

// A camera-like block whose IFD0 holds the orientation.
std::vector<std::uint8_t> OrientationBlock(int orientation) {
    testsupport::TiffSpec spec;
    spec.ifd0.fields = {testsupport::Ascii(0x010F, "Canon"),
                        testsupport::Short(0x0112, {static_cast<std::uint16_t>(orientation)})};
    return testsupport::BuildTiff(spec).bytes;
}

class PhotosTest : public PanelTest {
protected:
    QString Heic(const QString& name, const QImage& stored, int orientation,
                 int thumbnailSide = 0) {
        testsupport::HeifSpec spec;
        spec.width = stored.width();
        spec.height = stored.height();
        spec.rgb = Rgb(stored);
        spec.orientation = orientation;
        spec.thumbnailSide = thumbnailSide;
        const QString path = dir.filePath(name);
        EXPECT_EQ(testsupport::WriteHeif(path.toStdString(), spec), "") << name.toStdString();
        return path;
    }

    QString Dng(const QString& name, const testsupport::DngSpec& spec) {
        return Write(name, Bytes(testsupport::Dng(spec)));
    }

    testsupport::DngSpec TurnedDng(int orientation) {
        testsupport::DngSpec spec;
        spec.width = 600;
        spec.height = 400;
        spec.orientation = orientation;
        const QByteArray preview = Encode(TopRedBottomBlue(150, 100), "jpeg");
        spec.previewBytes.assign(preview.begin(), preview.end());
        spec.previewWidth = 150;
        spec.previewHeight = 100;
        return spec;
    }

    // The caption as the panel would draw the file name, `sizeLine` and the
    // one-line `summary` (none when empty), compared pixel for pixel with
    // what it drew.
    void ExpectCaption(const QString& sizeLine, const QString& summary, const std::string& name) {
        EXPECT_EQ(panel->shootingSummary(), summary) << name;
        EXPECT_EQ(panel->captionLines(), summary.isEmpty() ? 2 : 3) << name;
        QImage expected(panel->surface().size(), QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter painter(&expected);
            viewer::PhotoPanel::drawCellText(painter, QString::fromStdString(panel->photoName()),
                                             panel->captionRect(0), Qt::AlignLeft);
            viewer::PhotoPanel::drawCellText(painter, sizeLine, panel->captionRect(1),
                                             Qt::AlignLeft);
            const QRectF third = panel->captionRect(1).translated(0, 12);
            viewer::PhotoPanel::drawCellText(painter, summary, third, Qt::AlignLeft);
        }
        const QRect rows(0, static_cast<int>(panel->captionRect(0).y()), 200, 40);
        EXPECT_EQ(panel->surface().copy(rows), expected.copy(rows)) << name;
    }
};

TEST_F(PhotosTest, TurnedPhotosShowUprightWithTheirUprightSize) {
    struct Case {
        const char* name;
        QString path;
        int width, height;  // upright
        QRect preview;
        const char* storedOrientation;  // the list's value; nullptr: not checked
        const char* summary;
    };
    const Case cases[] = {
        {"JPEG stored 4000 x 3000 with orientation 6",
         Write("portrait.jpg",
               WithExifJpeg(Encode(TopRedBottomBlue(4000, 3000), "jpeg"), OrientationBlock(6))),
         3000, 4000, QRect(0, 76, 200, 267), "6-右/上", ""},
        {"PNG stored 400 x 300 with orientation 6",
         Write("portrait.png",
               WithExifPng(Encode(TopRedBottomBlue(400, 300), "png"), OrientationBlock(6))),
         300, 400, QRect(0, 76, 200, 267), "6-右/上", ""},
        {"HEIC turned by its rotation box", Heic("portrait.heic", TopRedBottomBlue(400, 300), 6),
         300, 400, QRect(0, 76, 200, 267), nullptr, ""},
        {"HEIC drawn from its thumbnail",
         Heic("thumbnail.heic", TopRedBottomBlue(1200, 900), 6, 320), 900, 1200,
         QRect(0, 76, 200, 267), nullptr, ""},
        // The developed image's size, not the 150 x 100 preview's; the
        // model its raw directory gives is the summary.
        {"DNG with orientation 6", Dng("portrait.dng", TurnedDng(6)), 400, 600,
         QRect(0, 59, 200, 300), "6-右/上", "Canon EOS 5D"},
    };
    for (const Case& c : cases) {
        OpenPhoto(c.path);
        ASSERT_EQ(panel->photoFile(), c.path.toStdString()) << c.name;
        EXPECT_EQ(panel->photoWidth(), c.width) << c.name;
        EXPECT_EQ(panel->photoHeight(), c.height) << c.name;
        EXPECT_EQ(panel->previewRect(), c.preview) << c.name;
        // Red stands on the right, blue on the left (a pixel of blending between).
        const QImage surface = panel->surface();
        const QRect left(c.preview.left(), c.preview.top(), c.preview.width() / 2,
                         c.preview.height());
        const QRect right = left.translated(c.preview.width() / 2, 0);
        const QRect red = Bounds(surface, c.preview, IsRed);
        const QRect blue = Bounds(surface, c.preview, IsBlue);
        EXPECT_TRUE(right.adjusted(-1, 0, 0, 0).contains(red)) << c.name;
        EXPECT_TRUE(left.adjusted(0, 0, 1, 0).contains(blue)) << c.name;
        EXPECT_GT(red.width() * red.height(), right.width() * right.height() * 9 / 10) << c.name;
        EXPECT_GT(blue.width() * blue.height(), left.width() * left.height() * 9 / 10) << c.name;
        ExpectCaption(
            QString::number(c.width) + QString::fromUtf16(u" \u00D7 ") + QString::number(c.height),
            QString::fromUtf8(c.summary), c.name);
        if (c.storedOrientation) {
            const std::vector<std::string> labels = Labels(), values = Values();
            const auto at = std::find(labels.begin(), labels.end(), "方向");
            ASSERT_NE(at, labels.end()) << c.name;
            EXPECT_EQ(values[static_cast<std::size_t>(at - labels.begin())], c.storedOrientation)
                << c.name;
        }
    }
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The box `name` (its size field first) at or after `from`: its offset, or -1.
qsizetype Box(const QByteArray& bytes, const char* name, qsizetype from = 0) {
    const qsizetype at = bytes.indexOf(name, from);
    return at < 4 ? -1 : at - 4;
}

void PutU32(QByteArray& bytes, qsizetype at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

// Broken HEIF and raw files are never a silent blank: a file whose header or
// metadata can be read is shown as the photo it is, with the placeholder and
// the reason; one of which nothing can be read leaves the empty state with a
// line saying why, and the earlier photo's list.
TEST_F(PhotosTest, BrokenHeifAndRawFilesSayWhy) {
    const QString good = Photo("good.jpg", 64, 48, 12);
    QByteArray heic;
    {
        QFile file(Heic("source.heic", TopRedBottomBlue(256, 192), 1));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        heic = file.readAll();
    }
    const qsizetype ispe = Box(heic, "ispe");
    const qsizetype mdat = Box(heic, "mdat");
    ASSERT_GT(ispe, 0);
    ASSERT_GT(mdat, 0);
    const auto claiming = [&](std::uint32_t width, std::uint32_t height) {
        QByteArray bytes = heic;
        PutU32(bytes, ispe + 12, width);
        PutU32(bytes, ispe + 16, height);
        return bytes;
    };
    QByteArray noPixels = heic;
    for (qsizetype i = mdat + 8; i < noPixels.size(); ++i) noPixels[i] = '\0';

    testsupport::DngSpec pastEnd = TurnedDng(1);
    pastEnd.previewLengthOverride = 1u << 30;
    testsupport::DngSpec garbage = TurnedDng(1);
    std::fill(garbage.previewBytes.begin() + 2, garbage.previewBytes.end(), 0x5A);
    testsupport::DngSpec noPreview = TurnedDng(1);
    noPreview.preview = testsupport::DngSpec::Preview::None;
    noPreview.previewBytes.clear();

    enum class Shown { Placeholder, CannotOpen };
    struct Case {
        const char* name;
        QByteArray bytes;
        Shown shown;
    };
    const Case cases[] = {
        // libheif reads their boxes: the size is known.
        {"HEIC claiming 30000 x 30000", claiming(30000, 30000), Shown::Placeholder},
        {"HEIC whose pixels are zeros", noPixels, Shown::Placeholder},
        // Nothing but a signature, or boxes that point past the end of the
        // file (libheif refuses them) and no metadata.
        {"HEIC cut after its header boxes", heic.left(mdat), Shown::CannotOpen},
        {"HEIC cut in its pixels", heic.left(mdat + 40), Shown::CannotOpen},
        {"HEIC cut to its file type box", heic.left(32), Shown::CannotOpen},
        {"HEIC claiming 100000 x 100000", claiming(100000, 100000), Shown::CannotOpen},
        {"HEIF file type over nothing",
         QByteArray("\0\0\0\x18"
                    "ftypheic\0\0\0\0"
                    "mif1heic",
                    24),
         Shown::CannotOpen},
        {"CR3 file type over nothing",
         QByteArray("\0\0\0\x18"
                    "ftypcrx \0\0\0\x01"
                    "crx isom",
                    24),
         Shown::CannotOpen},
        {"Fujifilm signature over nothing", QByteArray("FUJIFILMCCD-RAW 0201FF383501"),
         Shown::CannotOpen},
        {"Olympus signature over nothing", QByteArray("IIRO\x08\0\0\0\0\0", 10), Shown::CannotOpen},
        // Raw files whose metadata is read, whose preview is not.
        {"DNG preview running past the end", Bytes(testsupport::Dng(pastEnd)), Shown::Placeholder},
        {"DNG preview that is not a JPEG", Bytes(testsupport::Dng(garbage)), Shown::Placeholder},
        {"DNG without a preview", Bytes(testsupport::Dng(noPreview)), Shown::Placeholder},
    };
    const long peakBefore = PeakKilobytes();
    for (const Case& c : cases) {
        OpenPhoto(good);
        ASSERT_EQ(panel->metadata().EntryCount(), 12u) << c.name;
        const QString path = Write("bad.heic", c.bytes);
        OpenPhoto(path);
        EXPECT_FALSE(panel->reason().isEmpty()) << c.name;
        EXPECT_FALSE(Bounds(panel->surface(), QRect(0, 0, 200, 418), IsRed).isValid()) << c.name;
        if (c.shown == Shown::Placeholder) {
            EXPECT_EQ(panel->photoFile(), path.toStdString())
                << c.name << ": " << panel->reason().toStdString();
            EXPECT_TRUE(panel->listViewport()->isVisible()) << c.name;
            ASSERT_TRUE(panel->previewRect().isValid()) << c.name;
            EXPECT_EQ(panel->surface().pixel(panel->previewRect().center()), kPlaceholderGrey)
                << c.name;
        } else {
            EXPECT_EQ(panel->photoFile(), good.toStdString())
                << c.name << ": the earlier photo is kept";
            EXPECT_EQ(Labels().size(), 12u) << c.name;
            EXPECT_TRUE(panel->hintIcon()->isVisible()) << c.name << ": the empty state";
            EXPECT_TRUE(Bounds(panel->surface(), kReasonLine, IsInk).isValid())
                << c.name << ": the line saying why";
        }
    }
    EXPECT_LT(PeakKilobytes() - peakBefore, 256 * 1024);
}

}  // namespace
}  // namespace paneltest
