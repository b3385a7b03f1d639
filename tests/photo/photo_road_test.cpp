// The road of a photo: what opening a file gives (the upright size, the
// format, the metadata, or a reason), what the recogniser makes of first
// bytes, and the preview asked for at a size, or the reason it is refused.
#include "photo/opened_photo.h"
#include "photo/photo_file.h"
#include "reader/property_items.h"

#include "tiff_builder.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using photo::Format;
using photo::OpenedPhoto;
using photo::Problem;

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
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// Left half red, right half blue.
QImage TwoColours(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::red);
    return image;
}

QByteArray Claiming(std::uint32_t width, std::uint32_t height) {
    return Bytes(testsupport::PngClaiming(width, height));
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

// True when every channel is within `tolerance` (JPEG is lossy).
bool Near(QColor actual, QColor expect, int tolerance = 40) {
    return std::abs(actual.red() - expect.red()) <= tolerance &&
           std::abs(actual.green() - expect.green()) <= tolerance &&
           std::abs(actual.blue() - expect.blue()) <= tolerance;
}

// Drops CAP_DAC_OVERRIDE from this thread while alive, so that a test run as
// root meets file permissions like any user.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutPermissionOverride() {
        if (!active_) return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        syscall(SYS_capset, &header, saved_);
    }

private:
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

class PhotoRoad : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(PhotoRoad, OpenGivesTheFormatAndSizeOrAReason) {
    struct Case {
        const char* name;
        QByteArray bytes;
        Problem problem;
        Format format;
        QSize size;
    };
    const Case cases[] = {
        {"png", Encode(TwoColours(40, 30), "png"), Problem::None, Format::Png, {40, 30}},
        {"jpeg", Encode(TwoColours(64, 48), "jpeg"), Problem::None, Format::Jpeg, {64, 48}},
        {"bmp", Encode(TwoColours(7, 5), "bmp"), Problem::None, Format::Bmp, {7, 5}},
        {"gif", Bytes(testsupport::Gif()), Problem::None, Format::Gif, {1, 1}},
        {"tiff", Encode(TwoColours(12, 11), "tiff"), Problem::None, Format::Tiff, {12, 11}},
        {"webp", Encode(TwoColours(20, 10), "webp"), Problem::None, Format::WebP, {20, 10}},
        {"ico", Encode(TwoColours(16, 16), "ico"), Problem::None, Format::Ico, {16, 16}},
        // Only the header is read when opening, so missing pixels still open.
        {"png header claiming 60000 x 60000",
         Claiming(60000, 60000),
         Problem::None,
         Format::Png,
         {60000, 60000}},
        {"text file",
         QByteArray("hello, this is not a picture\n"),
         Problem::NotAPhoto,
         Format::Jpeg,
         {}},
        {"empty file", QByteArray(), Problem::NotAPhoto, Format::Jpeg, {}},
        {"svg: a format the viewer does not offer",
         QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)"),
         Problem::NotAPhoto,
         Format::Jpeg,
         {}},
        {"png signature only",
         QByteArray("\x89PNG\r\n\x1a\n", 8),
         Problem::Damaged,
         Format::Jpeg,
         {}},
        {"jpeg start only", QByteArray("\xFF\xD8\xFF", 3), Problem::Damaged, Format::Jpeg, {}},
        {"jpeg after 300 empty comments",
         JpegAfterComments(300),
         Problem::None,
         Format::Jpeg,
         {64, 48}},
        // libjpeg would take seconds over the segments of a few megabytes.
        {"jpeg after 5000 empty comments",
         JpegAfterComments(5000),
         Problem::Damaged,
         Format::Jpeg,
         {}},
    };
    for (const Case& c : cases) {
        // A misleading suffix: the content decides.
        const QString path = write(QStringLiteral("photo.jpg"), c.bytes);
        OpenedPhoto photo = OpenedPhoto::open(path);
        // Opening recognises the file and reads its metadata; the header is
        // its decoder's to read (in the viewer, the worker's).
        const photo::Header header = photo.header();
        const Problem verdict = photo.isOpen() ? header.problem : photo.problem();
        EXPECT_EQ(verdict, c.problem) << c.name;
        if (!photo.isOpen()) {
            EXPECT_EQ(photo.metadata(), nullptr) << c.name;
            continue;
        }
        EXPECT_NE(photo.metadata(), nullptr) << c.name;
        if (verdict != Problem::None) continue;
        EXPECT_EQ(photo.format(), c.format) << c.name;
        EXPECT_EQ(header.size, c.size) << c.name;
    }
}

TEST_F(PhotoRoad, PathsThatAreNoPhotoSayWhy) {
    const QString locked = write(QStringLiteral("locked.jpg"), Encode(TwoColours(8, 8), "jpeg"));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    const struct {
        const char* name;
        QString path;
        Problem problem;
    } cases[] = {
        {"a missing file", dir.filePath(QStringLiteral("missing.jpg")), Problem::Missing},
        {"a file below a missing folder", dir.filePath(QStringLiteral("none/a.jpg")),
         Problem::Missing},
        {"a file below a file", locked + QStringLiteral("/a.jpg"), Problem::Missing},
        {"an empty path", QString(), Problem::Missing},
        {"a folder", dir.path(), Problem::NotAPhoto},
        {"a file without read permission", locked, Problem::NoPermission},
    };
    const WithoutPermissionOverride asAUser;
    const int readable = ::open(QFile::encodeName(locked).constData(), O_RDONLY | O_CLOEXEC);
    if (readable >= 0) ::close(readable);
    for (const auto& c : cases) {
        if (c.problem == Problem::NoPermission && readable >= 0) {
            ADD_FAILURE() << c.name
                          << ": readable here all the same (root that keeps its capabilities?)";
            continue;
        }
        EXPECT_EQ(OpenedPhoto::open(c.path).problem(), c.problem) << c.name;
    }
}

// Each decoder refuses a header that would cost it seconds and hundreds of
// megabytes before it reads it.
TEST_F(PhotoRoad, HeadersTooDearAreRefusedBeforeTheDecoderReadsThem) {
    const struct {
        const char* name;
        QByteArray bytes;
        qint64 size;  // of the file, past the bytes written
        Problem problem;
    } cases[] = {
        {"tiff with a 1 MiB value", TiffWithValues({1u << 20}), 4096 + (1 << 20), Problem::None},
        {"tiff with three 30 MiB values", TiffWithValues({30u << 20, 30u << 20, 30u << 20}),
         4096 + (90 << 20), Problem::TooLarge},
    };
    for (const auto& c : cases) {
        const QString path = write(QStringLiteral("values.tif"), c.bytes);
        ASSERT_TRUE(QFile::resize(path, c.size)) << c.name;
        OpenedPhoto photo = OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen()) << c.name;
        EXPECT_EQ(photo.header().problem, c.problem) << c.name;
    }
}

TEST_F(PhotoRoad, MetadataIsReadFromTheFileOpened) {
    const auto jpeg =
        testsupport::DecodableJpeg(testsupport::BuildTiff(testsupport::CameraSpec()).bytes);
    OpenedPhoto camera = OpenedPhoto::open(write(QStringLiteral("camera.jpg"), Bytes(jpeg)));
    ASSERT_TRUE(camera.isOpen());
    ASSERT_NE(camera.metadata(), nullptr);
    EXPECT_EQ(camera.metadata()->format(), reader::PhotoFormat::Jpeg);
    EXPECT_GT(camera.metadata()->items().size(), 5u);

    // A picture without metadata still has an (empty) list of items.
    OpenedPhoto plain =
        OpenedPhoto::open(write(QStringLiteral("plain.png"), Encode(TwoColours(4, 4), "png")));
    ASSERT_NE(plain.metadata(), nullptr);
    EXPECT_TRUE(plain.metadata()->items().empty());
}

// Once opened, the photo is the file that was opened: another put in its
// place afterwards changes neither its preview nor its size.
TEST_F(PhotoRoad, AFileReplacedAfterOpeningIsNotWhatIsShown) {
    const QString path = write(QStringLiteral("photo.png"), Encode(TwoColours(40, 30), "png"));
    OpenedPhoto photo = OpenedPhoto::open(path);
    ASSERT_TRUE(photo.isOpen());
    QImage green(80, 80, QImage::Format_RGB32);
    green.fill(Qt::green);
    const QString other = write(QStringLiteral("other.png"), Encode(green, "png"));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(other, path));

    const photo::Picture preview = photo.preview(QSize(40, 30));
    ASSERT_TRUE(preview.ok());
    EXPECT_EQ(preview.size, QSize(40, 30));
    EXPECT_TRUE(Near(preview.image.pixelColor(5, 15), Qt::red, 0));
    EXPECT_TRUE(Near(preview.image.pixelColor(35, 15), Qt::blue, 0));
}

TEST(Recogniser, TellsTheFormatFromTheFirstBytesAlone) {
    using Verdict = photo::Recognition::Verdict;
    const auto bytes = [](std::string_view text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    // An icon directory: type 1, one image, its entry (16 x 16, 1 plane, 32 bits, 1128 bytes).
    const std::string icon("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x68\x04\0\0\x16\0\0\0", 22);
    std::string iconReserved = icon;
    iconReserved[9] = '\x01';
    const struct {
        const char* name;
        std::vector<std::uint8_t> head;
        Verdict verdict;
        Format format;
        bool mayBeRaw;
    } cases[] = {
        {"JPEG", bytes(std::string_view("\xFF\xD8\xFF\xE0\0\x10JFIF", 10)), Verdict::Ok,
         Format::Jpeg, false},
        {"JPEG's first two bytes only", bytes("\xFF\xD8"), Verdict::Unsupported, Format::Jpeg,
         false},
        {"PNG", bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"), Verdict::Ok, Format::Png, false},
        {"GIF 87a", bytes("GIF87a\x01\0\x01\0"), Verdict::Ok, Format::Gif, false},
        {"GIF 89a", bytes("GIF89a\x01\0\x01\0"), Verdict::Ok, Format::Gif, false},
        {"no GIF 88a", bytes("GIF88a\x01\0\x01\0"), Verdict::Unsupported, Format::Jpeg, false},
        {"BMP", bytes(std::string_view("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14)), Verdict::Ok,
         Format::Bmp, false},
        {"little-endian TIFF: may be raw", bytes(std::string_view("II*\0\x08\0\0\0", 8)),
         Verdict::Ok, Format::Tiff, true},
        {"big-endian TIFF: may be raw", bytes(std::string_view("MM\0*\0\0\0\x08", 8)), Verdict::Ok,
         Format::Tiff, true},
        {"BigTIFF: no raw file", bytes(std::string_view("II+\0\x08\0\0\0", 8)), Verdict::Ok,
         Format::Tiff, false},
        {"WebP", bytes(std::string_view("RIFF\x24\0\0\0WEBPVP8 ", 16)), Verdict::Ok, Format::WebP,
         false},
        {"a RIFF wave", bytes(std::string_view("RIFF\x24\0\0\0WAVEfmt ", 16)), Verdict::Unsupported,
         Format::Jpeg, false},
        {"icon", bytes(icon), Verdict::Ok, Format::Ico, false},
        {"icon directory with a reserved byte set", bytes(iconReserved), Verdict::Unsupported,
         Format::Jpeg, false},
        {"HEIC",
         bytes(std::string_view("\0\0\0\x18"
                                "ftypheic\0\0\0\0"
                                "mif1heic",
                                24)),
         Verdict::Ok, Format::Heif, false},
        {"AVIF",
         bytes(std::string_view("\0\0\0\x1c"
                                "ftypavif\0\0\0\0"
                                "avifmif1miaf",
                                28)),
         Verdict::Ok, Format::Heif, false},
        {"an MP4 video",
         bytes(std::string_view("\0\0\0\x18"
                                "ftypisom\0\0\x02\0"
                                "isommp41",
                                24)),
         Verdict::Unsupported, Format::Jpeg, false},
        {"Canon CR3",
         bytes(std::string_view("\0\0\0\x18"
                                "ftypcrx \0\0\0\x01"
                                "crx isom",
                                24)),
         Verdict::Ok, Format::Raw, false},
        {"Olympus ORF", bytes(std::string_view("IIRO\x08\0\0\0", 8)), Verdict::Ok, Format::Raw,
         false},
        {"Panasonic RW2", bytes(std::string_view("IIU\0\x08\0\0\0", 8)), Verdict::Ok, Format::Raw,
         false},
        {"Fujifilm RAF", bytes("FUJIFILMCCD-RAW 0201FF383501"), Verdict::Ok, Format::Raw, false},
        {"text", bytes("Dear diary,\n"), Verdict::Unsupported, Format::Jpeg, false},
        {"nothing", {}, Verdict::Unsupported, Format::Jpeg, false},
    };
    for (const auto& c : cases) {
        const photo::Recognition recognition = photo::recognise(c.head);
        EXPECT_EQ(recognition.verdict, c.verdict) << c.name;
        if (recognition.verdict != Verdict::Ok) {
            EXPECT_EQ(recognition.problem, Problem::NotAPhoto) << c.name;
            continue;
        }
        EXPECT_EQ(recognition.format, c.format) << c.name;
        EXPECT_EQ(recognition.mayBeRaw, c.mayBeRaw) << c.name;
    }
}

TEST_F(PhotoRoad, PreviewIsTheWholePhotoAtTheSizeAskedFor) {
    const struct {
        const char* name;
        QByteArray bytes;
        QSize target;
    } cases[] = {
        {"png shrunk", Encode(TwoColours(400, 300), "png"), {200, 150}},
        {"png enlarged", Encode(TwoColours(40, 30), "png"), {280, 190}},
        {"png squeezed", Encode(TwoColours(400, 300), "png"), {100, 150}},
        {"jpeg above an eighth (libjpeg)", Encode(TwoColours(400, 300), "jpeg", 95), {200, 150}},
        {"jpeg at an eighth (DC decoder)", Encode(TwoColours(1600, 1200), "jpeg", 95), {200, 150}},
        {"bmp", Encode(TwoColours(400, 300), "bmp"), {200, 150}},
        {"tiff", Encode(TwoColours(400, 300), "tiff"), {200, 150}},
        {"webp", Encode(TwoColours(400, 300), "webp"), {200, 150}},
        {"one pixel", Encode(TwoColours(400, 300), "png"), {1, 1}},
    };
    for (const auto& c : cases) {
        OpenedPhoto photo = OpenedPhoto::open(write(QStringLiteral("two"), c.bytes));
        ASSERT_TRUE(photo.isOpen()) << c.name;
        const photo::Picture preview = photo.preview(c.target);
        ASSERT_TRUE(preview.ok()) << c.name << ": "
                                  << photo::reasonText(preview.problem).toStdString();
        EXPECT_EQ(preview.image.size(), c.target) << c.name;
        EXPECT_EQ(preview.size, photo.header().size) << c.name;
        if (c.target.width() < 4) continue;
        const int w = c.target.width(), h = c.target.height();
        for (const QPoint at : {QPoint(w / 4, h / 2), QPoint(2, 2), QPoint(w / 2 - 3, h - 3)})
            EXPECT_TRUE(Near(preview.image.pixelColor(at), Qt::red))
                << c.name << " at " << at.x() << "," << at.y();
        for (const QPoint at :
             {QPoint(3 * w / 4, h / 2), QPoint(w - 3, 2), QPoint(w / 2 + 3, h - 3)})
            EXPECT_TRUE(Near(preview.image.pixelColor(at), Qt::blue))
                << c.name << " at " << at.x() << "," << at.y();
    }
}

TEST_F(PhotoRoad, PreviewsThatCannotBeMadeSafelySayWhy) {
    const struct {
        const char* name;
        QByteArray bytes;
        QSize target;
        Problem problem;
    } cases[] = {
        // 60000 x 60000 x 4 bytes would be 14 GB.
        {"png claiming 60000 x 60000", Claiming(60000, 60000), {200, 150}, Problem::TooLarge},
        {"png claiming 9000 x 8000", Claiming(9000, 8000), {200, 150}, Problem::TooLarge},
        // At an eighth per side this JPEG would still need 8125 x 8125
        // pixels (252 MiB), over the budget before its bytes are weighed.
        {"jpeg claiming 65000 x 65000", ClaimingJpeg(65000, 65000), {200, 150}, Problem::TooLarge},
        {"png claiming 4000 x 3000 in 60 bytes",
         Claiming(4000, 3000),
         {200, 150},
         Problem::Damaged},
        {"target of 9000 x 9000 pixels",
         Encode(TwoColours(8, 8), "png"),
         {9000, 9000},
         Problem::TooLarge},
        {"png whose pixels are missing", Claiming(300, 200), {200, 150}, Problem::DecodeFailed},
        {"empty target: nothing decoded", Encode(TwoColours(8, 8), "png"), {0, 150}, Problem::None},
    };
    for (const auto& c : cases) {
        OpenedPhoto photo = OpenedPhoto::open(write(QStringLiteral("claim.bin"), c.bytes));
        ASSERT_TRUE(photo.isOpen()) << c.name;
        const photo::Picture preview = photo.preview(c.target);
        EXPECT_EQ(preview.problem, c.problem) << c.name;
        EXPECT_TRUE(preview.image.isNull()) << c.name;
        EXPECT_EQ(preview.size, photo.header().size) << c.name;
    }
}

// The decode step on its own, as a process handed the descriptor takes it:
// the same picture as the road gives.
TEST_F(PhotoRoad, DecodeStepAloneGivesTheRoadsPicture) {
    const struct {
        const char* name;
        QByteArray bytes;
        QSize target;
    } cases[] = {
        {"jpeg from its DC coefficients", Encode(TwoColours(800, 600), "jpeg"), {100, 75}},
        {"jpeg through libjpeg", Encode(TwoColours(800, 600), "jpeg"), {300, 225}},
        {"png", Encode(TwoColours(80, 60), "png"), {50, 40}},
        {"bmp", Encode(TwoColours(80, 60), "bmp"), {40, 30}},
    };
    for (const auto& c : cases) {
        const QString path = write(QStringLiteral("alone"), c.bytes);
        OpenedPhoto photo = OpenedPhoto::open(path);
        ASSERT_TRUE(photo.isOpen()) << c.name;
        const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(descriptor, 0) << c.name;
        photo::PhotoFile::Opened handed = photo::PhotoFile::adopt(descriptor);
        ASSERT_TRUE(handed.file) << c.name;
        // Alone, it fits the photo within the box it is handed.
        const photo::Picture alone = photo::decodePhoto(handed.file, photo.format(), c.target);
        const photo::Picture road = photo.preview(photo::fittedSize(photo.header().size, c.target));
        ASSERT_TRUE(alone.ok()) << c.name;
        EXPECT_EQ(alone.image, road.image) << c.name;
        EXPECT_EQ(alone.size, road.size) << c.name;
    }
    // A file whose first bytes no longer say what the viewer read there (it
    // was written over meanwhile) is not drawn in its place.
    {
        const photo::PhotoFile::Opened png =
            photo::PhotoFile::open(write(QStringLiteral("png"), Encode(TwoColours(8, 8), "png")));
        ASSERT_TRUE(png.file);
        EXPECT_EQ(photo::decodePhoto(png.file, Format::Jpeg, QSize(8, 8)).problem,
                  Problem::Damaged);
        EXPECT_TRUE(photo::decodePhoto(png.file, std::nullopt, QSize(8, 8)).ok());
    }
    // A descriptor of something else than a regular file is refused and closed.
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    EXPECT_EQ(photo::PhotoFile::adopt(pipe[0]).problem, Problem::NotAPhoto);
    EXPECT_EQ(::fcntl(pipe[0], F_GETFD), -1) << "closed";
    ::close(pipe[1]);
}

// Peak resident memory of this process since the last reset, in KiB, or -1
// where the kernel does not offer the counters.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

TEST_F(PhotoRoad, LargeJpegAskedForSmallIsDecodedSmall) {
    // 4000 x 3000 decoded whole would take 46 MiB; asked for at 200 x 150
    // the preview decoder works at an eighth per side (under 1 MiB).
    QString path;
    {
        const QImage big = TwoColours(4000, 3000);
        path = write(QStringLiteral("big.jpg"), Encode(big, "jpeg", 75));
    }
    OpenedPhoto photo = OpenedPhoto::open(path);
    ASSERT_TRUE(photo.isOpen());
    if (!ResetPeakResident() || StatusKiB("VmHWM:") < 0)
        GTEST_SKIP() << "no resettable peak-memory counter here";
    const long before = StatusKiB("VmRSS:");
    const photo::Picture preview = photo.preview(QSize(200, 150));
    const long growth = StatusKiB("VmHWM:") - before;
    ASSERT_TRUE(preview.ok());
    EXPECT_LT(growth, 16 * 1024) << "peak grew by " << growth << " KiB";
    EXPECT_TRUE(Near(preview.image.pixelColor(50, 75), Qt::red));
    EXPECT_TRUE(Near(preview.image.pixelColor(150, 75), Qt::blue));
}

}  // namespace
