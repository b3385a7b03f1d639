// Photos of every format the road reads, cut short or with bytes
// overwritten, in their headers, boxes and directories and in their pixels:
// the road either refuses them with a reason or gives the preview at the
// size asked for, with no crash, hang or stray allocation (the sanitizer
// build runs this too).
#include "photo/opened_photo.h"

#include "dng_writer.h"
#include "heif_writer.h"
#include "rgb_bytes.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <string_view>
#include <gtest/gtest.h>

namespace {

using testsupport::Rgb;

QImage Quarters(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.fillRect(width / 2, height / 2, width / 2, height / 2, Qt::green);
    return image;
}

QByteArray Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

QByteArray Jpeg(const QImage& image) { return Encode(image, "jpeg"); }

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Base {
    const char* name;
    QByteArray bytes;
    // Some of its variants still give a preview: the formats whose decoders
    // show what they could read. PNG and WebP check every chunk.
    bool somePreviews = true;
};

TEST(HostileFiles, CutOrOverwrittenFilesAreRefusedOrDrawnWhole) {
    QTemporaryDir dir;
    std::vector<Base> bases;
    for (const char* format : {"jpeg", "png", "tiff", "webp", "bmp"})
        bases.push_back({format, Encode(Quarters(128, 96), format),
                         std::string_view(format) != "png" && std::string_view(format) != "webp"});
    for (const bool avif : {false, true}) {
        testsupport::HeifSpec spec;
        const QImage picture = Quarters(128, 96);
        spec.avif = avif;
        spec.width = picture.width();
        spec.height = picture.height();
        spec.rgb = Rgb(picture);
        spec.orientation = 6;
        spec.thumbnailSide = 64;
        const QString path = dir.filePath(QStringLiteral("base.heif"));
        ASSERT_EQ(testsupport::WriteHeif(path.toStdString(), spec), "");
        bases.push_back({avif ? "AVIF" : "HEIC", ReadAll(path)});
    }
    for (const auto preview :
         {testsupport::DngSpec::Preview::Jpeg, testsupport::DngSpec::Preview::Bitmap}) {
        testsupport::DngSpec spec;
        spec.width = 64;
        spec.height = 48;
        spec.orientation = 8;
        spec.preview = preview;
        const QImage picture = Quarters(32, 24);
        const QByteArray jpeg = Jpeg(picture);
        spec.previewBytes = preview == testsupport::DngSpec::Preview::Jpeg
                                ? std::vector<std::uint8_t>(jpeg.begin(), jpeg.end())
                                : Rgb(picture);
        spec.previewWidth = 32;
        spec.previewHeight = 24;
        const std::vector<std::uint8_t> dng = testsupport::Dng(spec);
        bases.push_back(
            {preview == testsupport::DngSpec::Preview::Jpeg ? "DNG" : "DNG with a bitmap preview",
             QByteArray(reinterpret_cast<const char*>(dng.data()), qsizetype(dng.size()))});
    }

    constexpr int kVariants = 80;
    const QSize target(40, 30);
    std::uint32_t seed = 20240601;
    const auto random = [&](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return below ? (seed >> 8) % below : 0;
    };
    for (const Base& base : bases) {
        ASSERT_GT(base.bytes.size(), 64) << base.name;
        int drawn = 0;
        for (int variant = 0; variant < kVariants; ++variant) {
            QByteArray bytes = base.bytes;
            std::string change;
            if (variant % 2 == 0) {
                const qsizetype length = base.bytes.size() * variant / kVariants;
                bytes.truncate(length);
                change = "cut to " + std::to_string(length);
            } else {
                // Most overwrites land in the first kilobytes: the boxes or the
                // directories.
                const std::uint32_t span = variant % 4 == 1
                                               ? std::min<std::uint32_t>(2048, bytes.size())
                                               : static_cast<std::uint32_t>(bytes.size());
                for (int i = 0; i < 6; ++i) {
                    const std::uint32_t at = random(span);
                    bytes[at] = static_cast<char>(random(256));
                    change += " " + std::to_string(at);
                }
                change = "overwritten at" + change;
            }
            const std::string name = std::string(base.name) + " " + change;
            const QString path = dir.filePath(QStringLiteral("variant.bin"));
            {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(bytes);
            }
            photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
            if (!photo.isOpen()) {
                EXPECT_NE(photo.problem(), photo::Problem::None) << name;
                continue;
            }
            const photo::Header header = photo.header();
            if (header.problem != photo::Problem::None) continue;
            EXPECT_FALSE(header.size.isEmpty()) << name;
            const photo::Picture preview = photo.preview(target);
            if (preview.problem == photo::Problem::None) {
                EXPECT_EQ(preview.image.size(), target) << name;
                ++drawn;
            } else {
                EXPECT_TRUE(preview.image.isNull()) << name;
            }
        }
        if (base.somePreviews) {
            EXPECT_GT(drawn, 0) << base.name << ": some variants still give a preview";
        }
    }
}

// A camera preview whose JPEG holds more segments before its image data than
// any photo is not handed to libjpeg, which would take seconds over a few
// megabytes of them; the file is then left to the TIFF decoder.
TEST(HostileFiles, RawPreviewOfTooManySegmentsIsNotDecoded) {
    QTemporaryDir dir;
    const QByteArray jpeg = Jpeg(Quarters(32, 24));
    for (const int comments : {300, 5000}) {
        const QByteArray preview =
            jpeg.left(2) + QByteArray("\xFF\xFE\x00\x02", 4).repeated(comments) + jpeg.mid(2);
        testsupport::DngSpec spec;
        spec.width = 64;
        spec.height = 48;
        spec.previewBytes.assign(preview.begin(), preview.end());
        spec.previewWidth = 32;
        spec.previewHeight = 24;
        const std::vector<std::uint8_t> dng = testsupport::Dng(spec);
        const QString path = dir.filePath(QStringLiteral("many-segments.dng"));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char*>(dng.data()), qsizetype(dng.size()));
        }
        // The raw decoder draws the preview; the TIFF decoder cannot draw the
        // raw data that IFD0 holds.
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen());
        EXPECT_EQ(photo.preview(QSize(32, 24)).ok(), comments == 300) << comments << " comments";
    }
}

// libjpeg reads the segments between and after the scans while it decodes,
// keeping each in a list it walks to the end for the next: a hundred
// thousand comments there took it 30 s. Counted before it decodes, like
// those before the first scan; the bytes after the end of the image it never
// reads.
TEST(HostileFiles, SegmentsAmongTheScansAreCountedBeforeLibjpegDecodes) {
    QTemporaryDir dir;
    const QByteArray baseline = Jpeg(Quarters(64, 48));
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(Quarters(64, 48)));
    }
    const auto comments = [](QByteArray jpeg, qsizetype at, int count) {
        return jpeg.insert(at, QByteArray("\xFF\xFE\x00\x02", 4).repeated(count));
    };
    const qsizetype lastScan = progressive.lastIndexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(lastScan, progressive.indexOf(QByteArray("\xFF\xDA", 2)));
    const struct {
        const char* name;
        QByteArray bytes;
        photo::Problem problem;
    } cases[] = {
        {"300 comments before the end", comments(baseline, baseline.size() - 2, 300),
         photo::Problem::None},
        {"5000 comments before the end", comments(baseline, baseline.size() - 2, 5000),
         photo::Problem::Damaged},
        {"5000 comments after the end", comments(baseline, baseline.size(), 5000),
         photo::Problem::None},
        {"300 comments before the last scan", comments(progressive, lastScan, 300),
         photo::Problem::None},
        {"5000 comments before the last scan", comments(progressive, lastScan, 5000),
         photo::Problem::Damaged},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("comments.jpg"));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(c.bytes);
        }
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen()) << c.name;
        // Full size: libjpeg's road, not the eighth decoder's.
        const photo::Picture preview = photo.preview(QSize(64, 48));
        EXPECT_EQ(preview.problem, c.problem) << c.name;
        EXPECT_EQ(preview.image.isNull(), c.problem != photo::Problem::None) << c.name;
    }
}

}  // namespace
