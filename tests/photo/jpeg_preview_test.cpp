// A JPEG asked for at an eighth of its size or less goes through the DC
// preview decoder; what comes out must be what libjpeg's own scaled decode
// gives, and everything else must still take libjpeg's road.
#include "photo/opened_photo.h"
#include "photo/photo_file.h"

#include "jpeg_test_codec.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

namespace {

using jpegtest::Bytes;
using jpegtest::Layout;

QByteArray QtJpeg(const jpegtest::Picture& picture, int quality) {
    QImage image(picture.width, picture.height, QImage::Format_RGB888);
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(&picture.rgb[std::size_t(y) * picture.width * 3], picture.width * 3,
                    image.scanLine(y));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

QByteArray Encoded(const jpegtest::Picture& picture, const Layout& layout) {
    const Bytes bytes = jpegtest::Encode(picture, layout);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

Layout Grey() {
    Layout layout;
    layout.components = 1;
    return layout;
}

Layout Progressive() {
    Layout layout;
    layout.progressive = true;
    return layout;
}

Layout ProgressiveGrey() {
    Layout layout = Grey();
    layout.progressive = true;
    return layout;
}

Layout DcScanOnly() {
    Layout layout = Progressive();
    layout.script = {{{0, 1, 2}, 0, 0, 0, 0}};
    return layout;
}

// What libjpeg gives through Qt: a decode at (or just above) the target
// size, then a smooth scaling.
QImage CodecScaled(const QString& path, const QSize& target) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_RGB32);
}

// The mean absolute difference per channel over the target rectangle, and the
// largest.
struct Difference {
    double mean = 0;
    int largest = 0;
};

Difference Compare(const QImage& surface, const QImage& expected) {
    Difference d;
    double sum = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = surface.pixel(x, y), b = expected.pixel(x, y);
            for (int shift : {16, 8, 0}) {
                const int diff = std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
                sum += diff;
                d.largest = std::max(d.largest, diff);
            }
        }
    }
    d.mean = sum / (3.0 * expected.width() * expected.height());
    return d;
}

TEST(JpegPreview, IsWhatLibjpegsScaledDecodeGives) {
    const jpegtest::Picture photo = jpegtest::Scene(1600, 1200, 11);
    QByteArray cut = QtJpeg(photo, 90);
    cut.truncate(cut.size() / 2);
    const struct {
        const char* name;
        QByteArray bytes;
        QSize target;
        double maxMean;  // 0: the same pixels
        int maxLargest;
    } cases[] = {
        // An eighth or less: the preview decoder, giving libjpeg's eighth.
        {"4:2:0 at an eighth", QtJpeg(photo, 90), QSize(200, 150), 0, 0},
        {"grey below an eighth", Encoded(photo, Grey()), QSize(150, 110), 0, 0},
        {"cut short: the lower half grey, as the codec leaves it", cut, QSize(200, 150), 0, 0},
        {"progressive", Encoded(photo, Progressive()), QSize(200, 150), 0, 0},
        {"progressive grey", Encoded(photo, ProgressiveGrey()), QSize(200, 150), 0, 0},
        // The codec's road: a progressive file libjpeg smooths (no AC scans),
        // or more than an eighth.
        {"progressive without AC scans", Encoded(photo, DcScanOnly()), QSize(200, 150), 0, 0},
        {"more than an eighth", QtJpeg(photo, 90), QSize(400, 300), 0, 0},
        {"a small photo enlarged", QtJpeg(jpegtest::Scene(120, 90, 2), 90), QSize(200, 150), 0, 0},
        // Just at an eighth, where the codec decodes at a quarter and scales
        // down: the same picture, not the same pixels.
        {"1597 x 1197 at 200 x 150", QtJpeg(jpegtest::Scene(1597, 1197, 11), 90), QSize(200, 150),
         1.0, 8},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("photo.jpg"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << c.name;
        file.write(c.bytes);
        file.close();

        photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen()) << c.name;
        const photo::Picture preview = photo.preview(c.target);
        ASSERT_TRUE(preview.ok()) << c.name;
        ASSERT_EQ(preview.image.size(), c.target) << c.name;

        const Difference d = Compare(preview.image.convertToFormat(QImage::Format_RGB32),
                                     CodecScaled(path, c.target));
        EXPECT_LE(d.mean, c.maxMean) << c.name << ": mean " << d.mean << ", largest " << d.largest;
        EXPECT_LE(d.largest, c.maxLargest)
            << c.name << ": mean " << d.mean << ", largest " << d.largest;
    }
}

// A photo the preview decoder reads whole is mapped; the worker answers
// before it lets go of the mapping (unmapping 18 MB takes 0.75 ms), so the
// picture holds it, and releases it with itself. The codec's road maps
// nothing.
TEST(JpegPreview, APictureHoldsThePhotoItsDecoderMappedUntilLetGo) {
    photo::PhotoFile::allowMapping();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QtJpeg(jpegtest::Scene(1600, 1200, 11), 90));
    file.close();
    const struct {
        QSize target;
        int mapped;
    } cases[] = {{QSize(200, 150), 1}, {QSize(400, 300), 0}};
    for (const auto& c : cases) {
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen());
        photo::Picture preview = photo.preview(c.target);
        ASSERT_TRUE(preview.ok()) << c.target.width();
        EXPECT_EQ(preview.source != nullptr, c.mapped == 1) << c.target.width();
        EXPECT_EQ(photo::PhotoFile::mappingsAlive(), c.mapped) << c.target.width();
        preview = photo::Picture();
        EXPECT_EQ(photo::PhotoFile::mappingsAlive(), 0) << c.target.width();
    }
}

// For a progressive file the codec keeps every coefficient of the photo, two
// bytes a pixel: a file the preview decoder cannot draw is refused when those
// are over the decode limit, and so is one whose eighth would take far more
// memory than its size warrants, rather than decoded in full.
TEST(JpegPreview, ProgressiveFilesTooDearForLibjpegAreRefused) {
    using photo::Problem;
    const struct {
        const char* name;
        jpegtest::Bytes bytes;
        Problem problem;
    } cases[] = {
        // Its eighth takes 16 MB; libjpeg would keep 288 MB.
        {"12000 x 12000 flat grey: drawn from its DC",
         jpegtest::FlatProgressiveGrey(12000, 12000, true), Problem::None},
        {"12000 x 12000 flat grey without AC scans",
         jpegtest::FlatProgressiveGrey(12000, 12000, false), Problem::TooLarge},
        // 3 MB: its eighth takes 175 MB; libjpeg would keep 3.2 GB.
        {"40000 x 40000 flat grey", jpegtest::FlatProgressiveGrey(40000, 40000, true),
         Problem::TooLarge},
        {"40000 x 40000 flat grey without AC scans",
         jpegtest::FlatProgressiveGrey(40000, 40000, false), Problem::TooLarge},
    };
    // What libjpeg makes of the same flat grey.
    const jpegtest::Decoded flat =
        jpegtest::DecodeEighth(jpegtest::FlatProgressiveGrey(16, 16, true));
    ASSERT_TRUE(flat.ok);
    const QRgb grey = qRgb(flat.picture.rgb[0], flat.picture.rgb[1], flat.picture.rgb[2]);
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("flat.jpg"));
        ASSERT_TRUE(jpegtest::WriteFile(path.toStdString(), c.bytes)) << c.name;
        photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen()) << c.name;
        const photo::Picture preview = photo.preview(QSize(200, 200));
        EXPECT_EQ(preview.problem, c.problem) << c.name;
        if (c.problem != Problem::None) continue;
        const QImage surface = preview.image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < surface.height(); ++y)
            for (int x = 0; x < surface.width(); ++x)
                ASSERT_EQ(surface.pixel(x, y), grey) << c.name << " at " << x << "," << y;
    }
}

}  // namespace
