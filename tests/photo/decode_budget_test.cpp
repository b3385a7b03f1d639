// What a decode will hold is counted from what the file claims before a
// decoder reads a pixel: files of a few hundred kilobytes that would make
// libheif fill a canvas of ninety megapixels or start a codec for each of
// twenty thousand tiles, or make libtiff unpack a whole picture's strip
// beside the picture, are refused with a reason; files of the same kinds
// within the budget are drawn, each part where it belongs.
#include "photo/limits.h"
#include "photo/opened_photo.h"

#include "costly_photos.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using photo::Problem;
using testsupport::CodedTile;

bool Near(QRgb pixel, QRgb wanted, int tolerance = 40) {
    return std::abs(qRed(pixel) - qRed(wanted)) <= tolerance &&
           std::abs(qGreen(pixel) - qGreen(wanted)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(wanted)) <= tolerance;
}

class DecodeBudget : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new QTemporaryDir;
        const std::string scratch = folder_->path().toStdString();
        red_ = new CodedTile(testsupport::CodeTile(64, 64, 220, 30, 30, scratch));
        green_ = new CodedTile(testsupport::CodeTile(64, 64, 30, 200, 30, scratch));
        blue_ = new CodedTile(testsupport::CodeTile(64, 64, 30, 30, 220, scratch));
    }
    static void TearDownTestSuite() {
        delete red_;
        delete green_;
        delete blue_;
        delete folder_;
    }

    QString write(const std::vector<std::uint8_t>& bytes) {
        const QString path = folder_->filePath(QStringLiteral("photo-%1").arg(++written_));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qsizetype>(bytes.size()));
        return path;
    }

    static inline QTemporaryDir* folder_ = nullptr;
    static inline CodedTile* red_ = nullptr;
    static inline CodedTile* green_ = nullptr;
    static inline CodedTile* blue_ = nullptr;
    int written_ = 0;
};

TEST_F(DecodeBudget, FilesThatClaimMoreThanTheBudgetAreRefusedBeforeDecoding) {
    ASSERT_FALSE(red_->data.empty()) << "libheif's encoder wrote no tile";
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        QSize size;  // as the header says
    } cases[] = {
        // 875 KB: libheif spent 54 s and 494 MiB on it.
        {"grid of 141 x 141 tiles",
         testsupport::HeifGrid({*red_}, 141, 141, 141 * 64, 141 * 64),
         {9024, 9024}},
        // Tiles past the count, on a canvas the budget would allow.
        {"grid of 20 x 20 tiles: more than a photo has",
         testsupport::HeifGrid({*red_}, 20, 20, 1280, 1280),
         {1280, 1280}},
        // Under 1 KB, for 9459 x 9459 x 3 bytes just under the old guard.
        {"overlay claiming 9459 x 9459", testsupport::HeifOverlay(*red_, 9459, 9459), {9459, 9459}},
        // 187 KB that libtiff unpacks into a strip of 192 MB beside the
        // picture's 256 MB.
        {"deflated TIFF of 7999 x 7999 in one strip",
         testsupport::DeflatedTiff(7999, 7999, 7999),
         {7999, 7999}},
        // Its picture alone fits; its strip, the size of the picture
        // again, does not.
        {"deflated TIFF of 4500 x 4000 in one strip",
         testsupport::DeflatedTiff(4500, 4000, 4000),
         {4500, 4000}},
    };
    for (const auto& c : cases) {
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(write(c.bytes));
        ASSERT_TRUE(photo.isOpen()) << c.name;
        EXPECT_EQ(photo.header().size, c.size) << c.name;
        const photo::Picture preview = photo.preview(QSize(200, 200));
        EXPECT_EQ(preview.problem, Problem::TooLarge) << c.name;
        EXPECT_TRUE(preview.image.isNull()) << c.name;
        EXPECT_EQ(preview.size, c.size) << c.name << ": the placeholder's caption gives the size";
    }
}

TEST_F(DecodeBudget, FilesOfTheSameKindsWithinTheBudgetAreDrawn) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        QSize size;
        // Where each colour must land in a 192 x 128 preview.
        std::vector<std::pair<QPoint, QRgb>> colours;
    } cases[] = {
        {"grid of 3 x 2 tiles, taken in turn",
         testsupport::HeifGrid({*red_, *green_, *blue_}, 2, 3, 192, 128),
         {192, 128},
         {{{30, 30}, qRgb(220, 30, 30)},
          {{96, 30}, qRgb(30, 200, 30)},
          {{160, 30}, qRgb(30, 30, 220)},
          {{30, 100}, qRgb(220, 30, 30)},
          {{160, 100}, qRgb(30, 30, 220)}}},
        // The tile at the top left of a white canvas.
        {"overlay of 192 x 128",
         testsupport::HeifOverlay(*blue_, 192, 128),
         {192, 128},
         {{{30, 30}, qRgb(30, 30, 220)}, {{150, 100}, qRgb(255, 255, 255)}}},
        // The same picture as the one-strip TIFF refused above, in strips.
        {"deflated TIFF of 4500 x 4000 in strips of 16 rows",
         testsupport::DeflatedTiff(4500, 4000, 16),
         {4500, 4000},
         {{{96, 64}, qRgb(128, 128, 128)}}},
    };
    for (const auto& c : cases) {
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(write(c.bytes));
        ASSERT_TRUE(photo.isOpen()) << c.name;
        const QSize target = photo::fittedSize(photo.header().size, QSize(192, 128));
        const photo::Picture preview = photo.preview(target);
        ASSERT_TRUE(preview.ok()) << c.name << ": "
                                  << photo::reasonText(preview.problem).toStdString();
        EXPECT_EQ(preview.size, c.size) << c.name;
        for (const auto& [at, colour] : c.colours) {
            const QPoint scaled(at.x() * target.width() / 192, at.y() * target.height() / 128);
            EXPECT_TRUE(Near(preview.image.pixel(scaled), colour))
                << c.name << " at " << at.x() << "," << at.y() << ": " << std::hex
                << preview.image.pixel(scaled);
        }
    }
}

// A photo over the budget that carries a thumbnail is drawn from it, however
// small: a picture beats "无法预览". (A file of more items than libheif is
// given is refused whole, thumbnail and all: see above.)
TEST_F(DecodeBudget, PhotoOverTheBudgetIsDrawnFromItsThumbnail) {
    photo::OpenedPhoto photo = photo::OpenedPhoto::open(
        write(testsupport::HeifGrid({*red_}, 20, 20, 20 * 64, 20 * 64, green_)));
    ASSERT_TRUE(photo.isOpen());
    const photo::Picture preview = photo.preview(QSize(200, 200));
    ASSERT_TRUE(preview.ok()) << photo::reasonText(preview.problem).toStdString();
    EXPECT_EQ(preview.image.size(), QSize(200, 200));
    EXPECT_TRUE(Near(preview.image.pixel(100, 100), qRgb(30, 200, 30)))
        << "the thumbnail's colour, not the tiles'";
}

}  // namespace
