#include "platform/gdip_graphics.h"
#include "platform/gdip_image.h"

#include "tiff_builder.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <string>

namespace {

using namespace platform;

QByteArray Encode(const QImage& image, const char* format, int quality = 90) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes;
}

QByteArray Bytes(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Left half red, right half blue.
QImage TwoColours(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::red);
    return image;
}

// A PNG claiming width x height over a few bytes of data.
QByteArray Claiming(std::uint32_t width, std::uint32_t height) {
    const std::vector<std::uint8_t> png = testsupport::PngClaiming(width, height);
    return QByteArray(reinterpret_cast<const char*>(png.data()), static_cast<qsizetype>(png.size()));
}

// A real JPEG whose frame header is rewritten to claim another size.
QByteArray ClaimingJpeg(std::uint16_t width, std::uint16_t height) {
    QByteArray jpeg = Encode(TwoColours(16, 16), "jpeg");
    const int sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    EXPECT_GT(sof, 0);
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

// A JPEG whose image follows `count` empty comment segments.
QByteArray JpegAfterComments(int count) {
    const QByteArray jpeg = Encode(TwoColours(64, 48), "jpeg");
    return jpeg.left(2) + QByteArray("\xFF\xFE\x00\x02", 4).repeated(count) + jpeg.mid(2);
}

// A little-endian TIFF of one grey pixel (at offset 255) whose first
// directory also holds one unknown UNDEFINED tag for each length in
// `values`; their bytes lie from offset 4096 on and are not written, so the
// file stays sparse on disk.
QByteArray TiffWithValues(const std::vector<std::uint32_t>& values) {
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    std::vector<Entry> entries = {{0x100, 4, 1, 1}, {0x101, 4, 1, 1}, {0x102, 4, 1, 8},
                                  {0x103, 4, 1, 1}, {0x106, 4, 1, 1}, {0x111, 4, 1, 255},
                                  {0x115, 4, 1, 1}, {0x116, 4, 1, 1}, {0x117, 4, 1, 1}};
    std::uint32_t at = 4096;
    for (std::size_t i = 0; i < values.size(); ++i) {
        entries.push_back({static_cast<std::uint16_t>(0xC600 + i), 7, values[i], at});
        at += values[i];
    }
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) tiff.append(static_cast<char>(value >> (8 * i)));
    };
    put(static_cast<std::uint32_t>(entries.size()), 2);
    for (const Entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(e.count, 4);
        put(e.value, 4);
    }
    put(0, 4);
    tiff.resize(256, '\0');
    tiff[255] = '\x80';
    return tiff;
}

class ImageFiles : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void TearDown() override { EXPECT_EQ(GdipLiveObjects().total(), 0); }

    QTemporaryDir dir;
};

TEST_F(ImageFiles, LoadReportsTheSizeOrNothing) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool loads;
        std::uint32_t width, height;
    };
    const Case cases[] = {
        {"png", Encode(TwoColours(40, 30), "png"), true, 40, 30},
        {"jpeg", Encode(TwoColours(64, 48), "jpeg"), true, 64, 48},
        {"bmp", Encode(TwoColours(7, 5), "bmp"), true, 7, 5},
        {"gif", Bytes(testsupport::Gif()), true, 1, 1},
        {"tiff", Encode(TwoColours(12, 11), "tiff"), true, 12, 11},
        {"text file", QByteArray("hello, this is not a picture\n"), false, 0, 0},
        {"empty file", QByteArray(), false, 0, 0},
        {"png signature only", QByteArray("\x89PNG\r\n\x1a\n", 8), false, 0, 0},
        {"svg: a format the decoder does not offer",
         QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)"), false, 0, 0},
        // Only the header is read at load, so broken pixel data still loads.
        {"png header claiming 60000 x 60000", Claiming(60000, 60000), true, 60000, 60000},
    };
    for (const Case& c : cases) {
        // A misleading suffix: the content decides.
        const QString path = write(QStringLiteral("%1.jpg").arg(QString::fromLatin1(c.name).replace(u' ', u'_').replace(u':', u'_')), c.bytes);
        GpImage* image = GdipLoadImageFromFile(path);
        EXPECT_EQ(image != nullptr, c.loads) << c.name;
        if (!image) continue;
        std::uint32_t width = 0, height = 0;
        EXPECT_EQ(GdipGetImageWidth(image, &width), Ok) << c.name;
        EXPECT_EQ(GdipGetImageHeight(image, &height), Ok) << c.name;
        EXPECT_EQ(width, c.width) << c.name;
        EXPECT_EQ(height, c.height) << c.name;
        EXPECT_EQ(GdipDisposeImage(image), Ok) << c.name;
    }
    EXPECT_EQ(GdipLoadImageFromFile(dir.filePath(QStringLiteral("missing.jpg"))), nullptr);
    EXPECT_EQ(GdipLoadImageFromFile(QString()), nullptr);
}

// Headers that would cost the decoder seconds and hundreds of megabytes
// while it reads them are refused before it does.
TEST_F(ImageFiles, LoadRefusesHeadersTheDecoderWouldChokeOn) {
    struct Case {
        const char* name;
        QByteArray bytes;
        qint64 size;  // of the file, past the bytes written
        bool loads;
    };
    const Case cases[] = {
        {"jpeg after 300 empty comments", JpegAfterComments(300), 0, true},
        {"jpeg after 5000 empty comments", JpegAfterComments(5000), 0, false},
        {"tiff with a 1 MiB value", TiffWithValues({1u << 20}), 4096 + (1 << 20), true},
        {"tiff with three 30 MiB values", TiffWithValues({30u << 20, 30u << 20, 30u << 20}), 4096 + (90 << 20),
         false},
    };
    for (const Case& c : cases) {
        const QString path = write(QStringLiteral("headers.bin"), c.bytes);
        if (c.size > 0) {
            ASSERT_TRUE(QFile::resize(path, c.size)) << c.name;
        }
        GpImage* image = GdipLoadImageFromFile(path);
        EXPECT_EQ(image != nullptr, c.loads) << c.name;
        if (image) GdipDisposeImage(image);
    }
}

TEST_F(ImageFiles, ImageCarriesThePhotosPropertyItems) {
    const auto tiff = testsupport::BuildTiff(testsupport::CameraSpec());
    const auto jpeg = testsupport::DecodableJpeg(tiff.bytes);
    const QString path = write(QStringLiteral("camera.jpg"), Bytes(jpeg));
    GpImage* image = GdipLoadImageFromFile(path);
    ASSERT_NE(image, nullptr);
    ASSERT_NE(image->properties(), nullptr);
    EXPECT_EQ(image->properties()->format(), reader::PhotoFormat::Jpeg);
    EXPECT_GT(image->properties()->items().size(), 5u);
    GdipDisposeImage(image);

    // A picture without metadata still has a (empty) property list.
    GpImage* plain = GdipLoadImageFromFile(write(QStringLiteral("plain.png"), Encode(TwoColours(4, 4), "png")));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(plain->properties(), nullptr);
    EXPECT_EQ(plain->properties()->items().size(), 0u);
    GdipDisposeImage(plain);
}

struct Probe {
    int x, y;
    QColor expect;
};

// True when every channel is within `tolerance` (JPEG is lossy).
bool Near(QColor actual, QColor expect, int tolerance) {
    return std::abs(actual.red() - expect.red()) <= tolerance &&
           std::abs(actual.green() - expect.green()) <= tolerance &&
           std::abs(actual.blue() - expect.blue()) <= tolerance;
}

TEST_F(ImageFiles, DrawScalesTheSourceIntoTheTarget) {
    struct Case {
        const char* name;
        const char* format;
        QRect source;
        QRect target;
        std::vector<Probe> probes;
    };
    const QColor red(255, 0, 0), blue(0, 0, 255), white(255, 255, 255);
    const std::vector<Probe> wholeProbes = {
        {60, 95, red}, {160, 95, blue}, {5, 5, white}, {215, 95, white}, {60, 175, white}};
    const Case cases[] = {
        {"png whole image", "png", QRect(0, 0, 400, 300), QRect(10, 20, 200, 150), wholeProbes},
        {"jpeg whole image", "jpeg", QRect(0, 0, 400, 300), QRect(10, 20, 200, 150), wholeProbes},
        {"png right half stretched", "png", QRect(200, 0, 200, 300), QRect(10, 20, 200, 150),
         {{12, 22, blue}, {207, 167, blue}, {5, 5, white}}},
        {"jpeg left half", "jpeg", QRect(0, 0, 200, 300), QRect(10, 20, 100, 150),
         {{15, 30, red}, {105, 160, red}, {115, 30, white}}},
        {"png enlarged", "png", QRect(0, 0, 400, 300), QRect(0, 0, 280, 190),
         {{20, 20, red}, {260, 170, blue}, {285, 195, white}}},
    };
    for (const Case& c : cases) {
        const QString path = write(QStringLiteral("two.%1").arg(QString::fromLatin1(c.format)),
                                   Encode(TwoColours(400, 300), c.format, 95));
        GpImage* image = GdipLoadImageFromFile(path);
        ASSERT_NE(image, nullptr) << c.name;
        QImage surface(300, 200, QImage::Format_RGB32);
        surface.fill(Qt::white);
        GpGraphics* graphics = GdipCreateFromHDC(&surface);
        ASSERT_NE(graphics, nullptr) << c.name;
        EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, c.target.x(), c.target.y(), c.target.width(),
                                         c.target.height(), c.source.x(), c.source.y(),
                                         c.source.width(), c.source.height(), UnitPixel),
                  Ok)
            << c.name;
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(image);
        for (const Probe& p : c.probes) {
            const QColor actual = surface.pixelColor(p.x, p.y);
            EXPECT_TRUE(Near(actual, p.expect, 40))
                << c.name << " at " << p.x << "," << p.y << ": " << actual.name().toStdString();
        }
    }
}

TEST_F(ImageFiles, DrawRefusesWhatItCannotDoSafely) {
    struct Case {
        const char* name;
        QByteArray bytes;
        QSize target;
        GpStatus expect;
    };
    const Case cases[] = {
        // 60000 x 60000 x 4 bytes would be 14 GB.
        {"png claiming 60000 x 60000", Claiming(60000, 60000), QSize(200, 150), OutOfMemory},
        {"png claiming 9000 x 8000", Claiming(9000, 8000), QSize(200, 150), OutOfMemory},
        // At an eighth per side this JPEG would still need 8125 x 8125 pixels,
        // from a file of a few hundred bytes.
        {"jpeg claiming 65000 x 65000", ClaimingJpeg(65000, 65000), QSize(200, 150), GenericError},
        {"png claiming 4000 x 3000 in 60 bytes", Claiming(4000, 3000), QSize(200, 150), GenericError},
        {"target of 9000 x 9000 pixels", Encode(TwoColours(8, 8), "png"), QSize(9000, 9000), OutOfMemory},
        {"png whose pixels are missing", Claiming(300, 200), QSize(200, 150), GenericError},
        {"empty target", Encode(TwoColours(8, 8), "png"), QSize(0, 150), Ok},
    };
    for (const Case& c : cases) {
        GpImage* image = GdipLoadImageFromFile(write(QStringLiteral("claim.bin"), c.bytes));
        ASSERT_NE(image, nullptr) << c.name;
        QImage surface(50, 50, QImage::Format_RGB32);
        surface.fill(Qt::white);
        GpGraphics* graphics = GdipCreateFromHDC(&surface);
        std::uint32_t width = 0, height = 0;
        GdipGetImageWidth(image, &width);
        GdipGetImageHeight(image, &height);
        EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, 0, 0, c.target.width(), c.target.height(), 0, 0,
                                         static_cast<int>(width), static_cast<int>(height), UnitPixel),
                  c.expect)
            << c.name;
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(image);
        if (c.expect != Ok) continue;
        for (int y = 0; y < surface.height(); ++y)
            for (int x = 0; x < surface.width(); ++x)
                ASSERT_EQ(surface.pixel(x, y), QColor(Qt::white).rgb()) << c.name;
    }
}

// Peak resident memory of this process since the last reset, in KiB, or -1
// where the kernel does not offer the counters.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

TEST_F(ImageFiles, LargeJpegDrawnSmallIsDecodedSmall) {
    // 4000 x 3000 decoded whole would take 46 MiB; drawn at 200 x 150 the
    // codec decodes an eighth per side (under 1 MiB).
    QString path;
    {
        const QImage big = TwoColours(4000, 3000);
        path = write(QStringLiteral("big.jpg"), Encode(big, "jpeg", 75));
    }
    GpImage* image = GdipLoadImageFromFile(path);
    ASSERT_NE(image, nullptr);
    QImage surface(200, 150, QImage::Format_RGB32);
    surface.fill(Qt::white);
    GpGraphics* graphics = GdipCreateFromHDC(&surface);

    if (!ResetPeakResident() || PeakResidentKiB() < 0) {
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(image);
        GTEST_SKIP() << "no resettable peak-memory counter here";
    }
    const long before = ResidentKiB();
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, 0, 0, 200, 150, 0, 0, 4000, 3000, UnitPixel), Ok);
    const long growth = PeakResidentKiB() - before;
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(image);

    EXPECT_LT(growth, 16 * 1024) << "peak grew by " << growth << " KiB";
    EXPECT_TRUE(Near(surface.pixelColor(50, 75), QColor(255, 0, 0), 40));
    EXPECT_TRUE(Near(surface.pixelColor(150, 75), QColor(0, 0, 255), 40));
}

TEST(Graphics, CreateOnlyOnPersistentSurfaces) {
    QImage image(10, 10, QImage::Format_RGB32);
    QPixmap pixmap(10, 10);
    QWidget widget;

    EXPECT_EQ(GdipCreateFromHDC(nullptr), nullptr);
    EXPECT_EQ(GdipCreateFromHDC(&widget), nullptr);

    GpGraphics* first = GdipCreateFromHDC(&image);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GdipCreateFromHDC(&image), nullptr) << "one graphics object per surface at a time";
    GpGraphics* onPixmap = GdipCreateFromHDC(&pixmap);
    EXPECT_NE(onPixmap, nullptr);
    GdipDeleteGraphics(onPixmap);
    GdipDeleteGraphics(first);

    GpGraphics* again = GdipCreateFromHDC(&image);
    EXPECT_NE(again, nullptr);
    GdipDeleteGraphics(again);
    EXPECT_EQ(GdipLiveObjects().total(), 0);
}

TEST(Graphics, FillRectangleBlendsTheBrushColour) {
    struct Case {
        const char* name;
        std::uint32_t argb;
        QRect rect;
        Probe inside, outside;
    };
    const Case cases[] = {
        {"list band", 0xFFF2F3DEu, QRect(2, 3, 4, 5), {5, 7, QColor(242, 243, 222)}, {6, 7, Qt::white}},
        {"half transparent red", 0x80FF0000u, QRect(0, 0, 10, 10), {9, 9, QColor(255, 127, 127)}, {10, 10, Qt::white}},
        {"band wider than the surface is clipped", 0xFF000000u, QRect(0, 4, 550, 2), {19, 5, Qt::black}, {19, 6, Qt::white}},
    };
    for (const Case& c : cases) {
        QImage surface(20, 20, QImage::Format_RGB32);
        surface.fill(Qt::white);
        GpGraphics* graphics = GdipCreateFromHDC(&surface);
        GpBrush* brush = GdipCreateSolidFill(c.argb);
        EXPECT_EQ(GdipFillRectangleI(graphics, brush, c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height()), Ok)
            << c.name;
        GdipDeleteBrush(brush);
        GdipDeleteGraphics(graphics);
        EXPECT_TRUE(Near(surface.pixelColor(c.inside.x, c.inside.y), c.inside.expect, 1)) << c.name;
        EXPECT_EQ(surface.pixelColor(c.outside.x, c.outside.y), c.outside.expect) << c.name;
    }
}

}  // namespace
