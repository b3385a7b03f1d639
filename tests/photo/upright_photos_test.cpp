// Every photo drawn upright and measured upright: a picture of six coloured
// blocks, stored turned for each Exif orientation 1-8 and marked so by
// exiftool (JPEG, TIFF, PNG, WebP), by our DNG writer (LibRaw reads the
// camera's orientation) or by libheif's encoder (irot and imir boxes), must
// come out as the same upright picture.
#include "photo/opened_photo.h"
#include "photo/orientation.h"

#include "dng_writer.h"
#include "heif_writer.h"
#include "rgb_bytes.h"
#include "peer_tools.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::Rgb;

constexpr int kBlock = 100;
// The upright picture: three blocks across, two down.
const QColor kBlocks[2][3] = {{Qt::red, Qt::green, Qt::blue}, {Qt::yellow, Qt::magenta, Qt::cyan}};

QImage UprightBlocks(int block = kBlock) {
    QImage image(3 * block, 2 * block, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 3; ++column)
            painter.fillRect(column * block, row * block, block, block, kBlocks[row][column]);
    return image;
}

// The pixels a camera stores for an upright picture when it records
// `orientation`, turned with Qt's transforms: the code says how the stored
// pixels turn to stand upright (6: a quarter clockwise), so they are stored
// turned the other way.
QImage Stored(const QImage& upright, int orientation) {
    const auto turned = [&](qreal degrees) {
        return upright.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case 2: return upright.mirrored(true, false);
    case 3: return upright.mirrored(true, true);
    case 4: return upright.mirrored(false, true);
    case 5: return turned(90).mirrored(true, false);  // transposed
    case 6: return turned(270);
    case 7: return turned(90).mirrored(false, true);  // transversed
    case 8: return turned(90);
    default: return upright;
    }
}

QByteArray Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes;
}

std::vector<std::uint8_t> Vector(const QByteArray& bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool Near(QColor actual, QColor expect, int tolerance = 60) {
    return std::abs(actual.red() - expect.red()) <= tolerance &&
           std::abs(actual.green() - expect.green()) <= tolerance &&
           std::abs(actual.blue() - expect.blue()) <= tolerance;
}

// Where `picture` (any size) differs from the upright blocks at their
// centres: "" when every block shows its colour.
std::string BlocksDiffer(const QImage& picture, const QColor (&blocks)[2][3] = kBlocks) {
    std::string faults;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QColor actual = picture.pixelColor((2 * column + 1) * picture.width() / 6,
                                                     (2 * row + 1) * picture.height() / 4);
            if (!Near(actual, blocks[row][column]))
                faults += " block " + std::to_string(row) + "," + std::to_string(column) + " is " +
                          actual.name().toStdString();
        }
    }
    return faults;
}

class UprightPhotos : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // Opens the photo and asks for its preview at `target`; checks its size
    // and returns the preview (null when it could not be opened or made).
    QImage Draw(const QString& path, const QSize& upright, const QSize& target,
                const std::string& name) {
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
        EXPECT_TRUE(photo.isOpen()) << name;
        if (!photo.isOpen()) return QImage();
        EXPECT_EQ(photo.header().size, upright) << name;
        const photo::Picture preview = photo.preview(target);
        EXPECT_TRUE(preview.ok()) << name;
        EXPECT_EQ(preview.image.size(), target) << name;
        return preview.image;
    }

    QTemporaryDir dir;
};

TEST_F(UprightPhotos, ExifOrientationOfJpegTiffPngAndWebP) {
    if (!testsupport::HavePrograms("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    const char* formats[] = {"jpeg", "tiff", "png", "webp"};
    const QImage upright = UprightBlocks();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        std::string paths;
        for (const char* format : formats) {
            const QString path = Write(QStringLiteral("o%1.%2").arg(orientation).arg(format),
                                       Encode(Stored(upright, orientation), format));
            paths += " " + testsupport::ShellQuote(path.toStdString());
        }
        ASSERT_TRUE(testsupport::RunQuietly(
            "exiftool -overwrite_original -Orientation#=" + std::to_string(orientation) + paths));
        for (const char* format : formats) {
            const std::string name =
                std::string(format) + " with orientation " + std::to_string(orientation);
            const QString path =
                dir.filePath(QStringLiteral("o%1.%2").arg(orientation).arg(format));
            // Qt's own reading of the Exif orientation, where it has one, agrees
            // that the stored picture and the code make the upright blocks.
            if (std::string(format) == "jpeg") {
                QImageReader reader(path);
                reader.setAutoTransform(true);
                EXPECT_EQ(BlocksDiffer(reader.read()), "") << name << ", read by Qt";
            }
            // Drawn small (a JPEG then from its DC coefficients) and large.
            for (const QSize& target : {QSize(150, 100), QSize(240, 160)}) {
                const QImage drawn = Draw(path, QSize(300, 200), target, name);
                EXPECT_EQ(BlocksDiffer(drawn), "") << name << " at " << target.width();
            }
        }
    }
}

TEST_F(UprightPhotos, RawPreviewTurnedByTheCamerasOrientation) {
    const QImage upright = UprightBlocks();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage stored = Stored(upright, orientation);
        testsupport::DngSpec spec;
        // The raw data is four times the preview, stored the same way round.
        spec.width = static_cast<std::uint16_t>(stored.width() * 2);
        spec.height = static_cast<std::uint16_t>(stored.height() * 2);
        spec.orientation = orientation;
        spec.previewBytes = Vector(Encode(stored, "jpeg"));
        spec.previewWidth = static_cast<std::uint32_t>(stored.width());
        spec.previewHeight = static_cast<std::uint32_t>(stored.height());
        const std::vector<std::uint8_t> dng = testsupport::Dng(spec);
        const QString path =
            Write(QStringLiteral("o%1.dng").arg(orientation),
                  QByteArray(reinterpret_cast<const char*>(dng.data()), qsizetype(dng.size())));
        const std::string name = "DNG with orientation " + std::to_string(orientation);
        for (const QSize& target : {QSize(30, 20), QSize(150, 100), QSize(450, 300)})
            EXPECT_EQ(BlocksDiffer(Draw(path, QSize(600, 400), target, name)), "")
                << name << " at " << target.width();

        spec.preview = testsupport::DngSpec::Preview::Bitmap;
        spec.previewBytes = Rgb(stored);
        const std::vector<std::uint8_t> bitmap = testsupport::Dng(spec);
        const QString bitmapPath = Write(
            QStringLiteral("b%1.dng").arg(orientation),
            QByteArray(reinterpret_cast<const char*>(bitmap.data()), qsizetype(bitmap.size())));
        EXPECT_EQ(BlocksDiffer(Draw(bitmapPath, QSize(600, 400), QSize(150, 100),
                                    name + ", bitmap preview")),
                  "")
            << name << ", bitmap preview";
    }
}

TEST_F(UprightPhotos, HeifTurnedByItsOwnBoxes) {
    const QImage upright = UprightBlocks();
    struct Variant {
        const char* name;
        bool avif;
        int thumbnailSide;
    };
    const Variant variants[] = {
        {"HEIC", false, 0}, {"HEIC drawn from its thumbnail", false, 160}, {"AVIF", true, 0}};
    for (const Variant& variant : variants) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            testsupport::HeifSpec spec;
            const QImage stored = Stored(upright, orientation);
            spec.avif = variant.avif;
            spec.width = stored.width();
            spec.height = stored.height();
            spec.rgb = Rgb(stored);
            spec.orientation = orientation;
            spec.thumbnailSide = variant.thumbnailSide;
            const QString path = dir.filePath(QStringLiteral("o%1.heif").arg(orientation));
            ASSERT_EQ(testsupport::WriteHeif(path.toStdString(), spec), "") << variant.name;
            const std::string name =
                std::string(variant.name) + " with orientation " + std::to_string(orientation);
            EXPECT_EQ(BlocksDiffer(Draw(path, QSize(300, 200), QSize(150, 100), name)), "") << name;
        }
    }
}

TEST_F(UprightPhotos, HeifExifOrientationIsNotAppliedASecondTime) {
    if (!testsupport::HavePrograms("heif-enc exiftool"))
        GTEST_SKIP() << "heif-enc or exiftool is not installed";
    // heif-enc keeps the JPEG's Exif block, orientation 6 included, but writes
    // no rotation box: the file's own transformations show it as stored.
    const QImage upright = UprightBlocks();
    const QString jpeg = Write(QStringLiteral("stored.jpg"), Encode(upright, "jpeg"));
    const QString heic = dir.filePath(QStringLiteral("exif6.heic"));
    ASSERT_TRUE(testsupport::RunQuietly("exiftool -overwrite_original -Orientation#=6 " +
                                        testsupport::ShellQuote(jpeg.toStdString())));
    ASSERT_TRUE(testsupport::RunQuietly("heif-enc -q 90 -o " +
                                        testsupport::ShellQuote(heic.toStdString()) + " " +
                                        testsupport::ShellQuote(jpeg.toStdString())));
    photo::OpenedPhoto photo = photo::OpenedPhoto::open(heic);
    ASSERT_TRUE(photo.isOpen());
    EXPECT_EQ(photo.header().orientation, 1);
    EXPECT_EQ(
        BlocksDiffer(Draw(heic, QSize(300, 200), QSize(150, 100), "HEIC with Exif orientation 6")),
        "");
}

// Qt's own transforms turn the picture the other way: turned upright pixel
// for pixel, every stored picture is the upright one again.
TEST(PhotoOrientation, EachCodeStandsItsStoredPixelsUpright) {
    const QImage upright = UprightBlocks(10);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage stored = Stored(upright, orientation);
        EXPECT_EQ(photo::uprightSize(stored.size(), orientation), upright.size()) << orientation;
        EXPECT_EQ(photo::upright(stored, orientation), upright.convertToFormat(stored.format()))
            << orientation;
    }
}

}  // namespace
