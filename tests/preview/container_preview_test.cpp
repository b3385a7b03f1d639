// The HEIF and raw preview decoders over files made on this machine: HEIC and
// AVIF from heif-enc and from libheif's encoder, DNG from our writer; and the
// whole-factor shrink they hand their pixels through.
#include "preview/box_shrink.h"
#include "preview/heif_preview.h"
#include "preview/raw_preview.h"

#include "dng_writer.h"
#include "heif_writer.h"
#include "rgb_bytes.h"
#include "peer_tools.h"
#include "temp_folder.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using testsupport::Rgb;

namespace fs = std::filesystem;
using preview::HeifPhoto;
using preview::HeifPicture;
using preview::InterleavedRows;
using preview::RawPreview;
using preview::RawSignature;

constexpr std::uint64_t kNoLimit = 1ull << 40;
constexpr HeifPhoto::Budget kNoBudget{kNoLimit, kNoLimit};

// The file at `path` open for reading while this lives (-1 when it cannot
// be opened): the decoders are handed descriptors, never paths.
class OpenFile {
public:
    explicit OpenFile(const std::string& path)
        : descriptor_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

std::unique_ptr<HeifPhoto> OpenHeif(const std::string& path) {
    return HeifPhoto::Open(OpenFile(path).descriptor());
}

std::unique_ptr<preview::RawPhoto> OpenRaw(const std::string& path, std::uint64_t maxBytes,
                                           preview::RawFailure* failure = nullptr) {
    return preview::OpenRawPhoto(OpenFile(path).descriptor(), maxBytes, failure);
}

// ---- Shrinking ----

TEST(BoxShrink, AveragesWholeBlocks) {
    struct Case {
        const char* name;
        std::uint32_t width, height;
        bool alpha;
        std::size_t padding;  // bytes after each row
        std::vector<std::uint8_t> samples;
        std::uint32_t minWidth, minHeight;
        std::uint32_t outWidth, outHeight;
        std::vector<std::uint32_t> pixels;
    };
    const Case cases[] = {
        {"2 x 2 blocks",
         4,
         2,
         false,
         0,
         {0, 0, 0, 4, 8, 12, 100, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 100, 200, 255},
         2,
         1,
         2,
         1,
         {0xFF030203u, 0xFF323240u}},
        {"an edge block the factor does not fill averages what it has",
         5,
         1,
         false,
         0,
         {10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40, 255, 0, 1},
         2,
         1,
         3,
         1,
         {0xFF0F0F0Fu, 0xFF232323u, 0xFFFF0001u}},
        {"rows with padding between them",
         1,
         2,
         false,
         5,
         {1, 2, 3, 9, 9, 9, 9, 9, 3, 4, 6, 9, 9, 9, 9, 9},
         1,
         1,
         1,
         1,
         {0xFF020305u}},
        {"never enlarged",
         2,
         1,
         false,
         0,
         {1, 2, 3, 4, 5, 6},
         8,
         8,
         2,
         1,
         {0xFF010203u, 0xFF040506u}},
        {"alpha: colours weighed by it, premultiplied",
         2,
         1,
         true,
         0,
         {255, 0, 0, 255, 0, 0, 255, 0},
         1,
         1,
         1,
         1,
         {0x80800000u}},
        {"alpha: half-transparent grey",
         1,
         1,
         true,
         0,
         {200, 100, 50, 128},
         1,
         1,
         1,
         1,
         {0x80643219u}},
    };
    for (const Case& c : cases) {
        InterleavedRows rows;
        rows.data = c.samples.data();
        rows.width = c.width;
        rows.height = c.height;
        rows.alpha = c.alpha;
        rows.stride = c.width * (c.alpha ? 4 : 3) + c.padding;
        const preview::ShrunkPicture out =
            preview::ShrinkByWholeFactors(rows, c.minWidth, c.minHeight);
        EXPECT_EQ(out.width, c.outWidth) << c.name;
        EXPECT_EQ(out.height, c.outHeight) << c.name;
        EXPECT_EQ(out.alpha, c.alpha) << c.name;
        EXPECT_EQ(out.pixels, c.pixels) << c.name;
    }
    InterleavedRows empty;
    EXPECT_TRUE(preview::ShrinkByWholeFactors(empty, 4, 4).pixels.empty());
}

TEST(BoxShrink, KeepsAtLeastTheMinimum) {
    struct Case {
        std::uint32_t width, height, minWidth, minHeight, outWidth, outHeight;
    };
    const Case cases[] = {
        {4000, 3000, 200, 150, 200, 150},
        {4032, 3024, 200, 150, 202, 152},  // factors 20 and 20, edge blocks partial
        {4000, 3000, 267, 200, 286, 200},  // factor 14 across, 15 down
        {300, 200, 600, 400, 300, 200},
        {7, 5, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> samples(std::size_t{c.width} * c.height * 3, 77);
        const InterleavedRows rows{samples.data(), std::size_t{c.width} * 3, c.width, c.height,
                                   false};
        const preview::ShrunkPicture out =
            preview::ShrinkByWholeFactors(rows, c.minWidth, c.minHeight);
        EXPECT_EQ(out.width, c.outWidth) << c.width << " x " << c.height;
        EXPECT_EQ(out.height, c.outHeight) << c.width << " x " << c.height;
        EXPECT_GE(out.width, std::min(c.width, c.minWidth));
        EXPECT_GE(out.height, std::min(c.height, c.minHeight));
        EXPECT_EQ(out.pixels,
                  std::vector<std::uint32_t>(std::size_t{out.width} * out.height, 0xFF4D4D4Du));
    }
}

// ---- Recognising the containers ----

TEST(Containers, ThumbnailAspectAllowsForRounding) {
    struct Case {
        std::uint32_t thumbWidth, thumbHeight, width, height;
        bool same;
    };
    const Case cases[] = {
        {160, 120, 4000, 3000, true},
        {320, 240, 4032, 3024, true},
        {161, 120, 4000, 3000, true},  // 4000 x 0.04015 rounds up, 3000 x 0.04015 down
        {162, 120, 4000, 3000, true},  // 4000 x 0.0403 and 3000 x 0.0403: each within a pixel
        {163, 120, 4000, 3000, false},
        {320, 212, 4256, 2832, true},     // 212.9 rounded down
        {320, 212, 8640, 5760, true},     // a Sony HIF's small thumbnail: 213.3 down
        {1616, 1080, 8640, 5760, false},  // its large one: 1077.3 or 1620 wide
        {120, 160, 4000, 3000, false},    // a thumbnail not turned like its photo
        {240, 320, 3024, 4032, true},
        {320, 180, 4032, 3024, false},  // 16:9 of a 4:3 photo
        {4, 1, 4000, 3000, false},
        {3, 1, 4000, 3000, true},  // too small to tell: 4000 x 0.0006 and 3000 x 0.0006 round so
        {0, 0, 4000, 3000, false},
        {1, 1, 1, 1, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(preview::SameAspect(c.thumbWidth, c.thumbHeight, c.width, c.height), c.same)
            << c.thumbWidth << " x " << c.thumbHeight << " of " << c.width << " x " << c.height;
}

std::vector<std::uint8_t> Head(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(Containers, SignaturesAtTheStart) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> head;
        RawSignature raw;
        bool heif;
    };
    const Case cases[] = {
        {"little-endian TIFF", Head(std::string_view("II*\0\x08\0\0\0\0\0\0\0\0\0\0\0", 16)),
         RawSignature::TiffBased, false},
        {"big-endian TIFF", Head(std::string_view("MM\0*\0\0\0\x08\0\0\0\0\0\0\0\0", 16)),
         RawSignature::TiffBased, false},
        {"Olympus", Head(std::string_view("IIRO\x08\0\0\0\0\0\0\0\0\0\0\0", 16)), RawSignature::Raw,
         false},
        {"Panasonic", Head(std::string_view("IIU\0\x08\0\0\0\0\0\0\0\0\0\0\0", 16)),
         RawSignature::Raw, false},
        {"Fujifilm", Head("FUJIFILMCCD-RAW 0201FF383501"), RawSignature::Raw, false},
        {"Canon CR3",
         Head(std::string_view("\0\0\0\x18"
                               "ftypcrx \0\0\0\x01"
                               "crx isom",
                               24)),
         RawSignature::Raw, false},
        {"HEIC",
         Head(std::string_view("\0\0\0\x18"
                               "ftypheic\0\0\0\0"
                               "mif1heic",
                               24)),
         RawSignature::None, true},
        {"AVIF",
         Head(std::string_view("\0\0\0\x1c"
                               "ftypavif\0\0\0\0"
                               "avifmif1miaf",
                               28)),
         RawSignature::None, true},
        {"HEIF by its general brand",
         Head(std::string_view("\0\0\0\x14"
                               "ftypmif1\0\0\0\0"
                               "heic",
                               20)),
         RawSignature::None, true},
        {"an MP4 video",
         Head(std::string_view("\0\0\0\x18"
                               "ftypisom\0\0\x02\0"
                               "isommp41",
                               24)),
         RawSignature::None, false},
        {"JPEG",
         Head(std::string_view("\xFF\xD8\xFF\xE1\0\x10"
                               "Exif\0\0II*\0",
                               16)),
         RawSignature::None, false},
        {"short", Head("II"), RawSignature::None, false},
        {"empty", {}, RawSignature::None, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(preview::RawSignatureOf(c.head), c.raw) << c.name;
        EXPECT_EQ(preview::IsHeif(c.head), c.heif) << c.name;
    }
}

// ---- Files ----

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::MakeTempFolder(
            std::string("container-preview-") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

    fs::path dir;
};

// Left half red, right half blue.
QImage TwoColours(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::red);
    return image;
}

std::vector<std::uint8_t> Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The pixel at (x, y) of a decoded picture as (red, green, blue).
std::array<int, 3> At(const preview::ShrunkPicture& picture, std::uint32_t x, std::uint32_t y) {
    const std::uint32_t pixel = picture.pixels[std::size_t{y} * picture.width + x];
    return {int(pixel >> 16 & 255), int(pixel >> 8 & 255), int(pixel & 255)};
}

bool Reddish(const std::array<int, 3>& rgb) { return rgb[0] > 180 && rgb[1] < 70 && rgb[2] < 70; }
bool Bluish(const std::array<int, 3>& rgb) { return rgb[2] > 180 && rgb[0] < 70 && rgb[1] < 70; }

TEST_F(Files, HeifFromHeifEncDrawnFromTheThumbnailWhenLargeEnough) {
    if (!testsupport::HavePrograms("heif-enc"))
        GTEST_SKIP() << "heif-enc (libheif-examples) is not installed";
    const std::string source = Write("two.png", Encoded(TwoColours(640, 480), "png"));
    const struct {
        const char* name;
        const char* options;
    } files[] = {
        {"thumbnailed.heic", "-t 160"}, {"plain.heic", ""}, {"thumbnailed.avif", "-A -t 160"}};
    for (const auto& file : files) {
        ASSERT_TRUE(testsupport::RunQuietly("heif-enc -q 85 " + std::string(file.options) + " -o " +
                                            testsupport::ShellQuote(Path(file.name)) + " " +
                                            testsupport::ShellQuote(source)))
            << file.name;
    }
    struct Case {
        const char* file;
        std::uint32_t minWidth, minHeight;
        bool fromThumbnail;
    };
    const Case cases[] = {
        {"thumbnailed.heic", 100, 75, true},   {"thumbnailed.heic", 160, 120, true},
        {"thumbnailed.heic", 160, 121, false}, {"thumbnailed.heic", 640, 480, false},
        {"plain.heic", 100, 75, false},        {"thumbnailed.avif", 120, 90, true},
        {"thumbnailed.avif", 200, 150, false},
    };
    for (const Case& c : cases) {
        const std::string name = std::string(c.file) + " at " + std::to_string(c.minWidth) + " x " +
                                 std::to_string(c.minHeight);
        const std::unique_ptr<HeifPhoto> photo = OpenHeif(Path(c.file));
        ASSERT_NE(photo, nullptr) << name;
        EXPECT_EQ(photo->width(), 640u) << name;
        EXPECT_EQ(photo->height(), 480u) << name;
        const HeifPicture decoded = photo->Decode(c.minWidth, c.minHeight, kNoBudget);
        ASSERT_EQ(decoded.result, HeifPicture::Result::Decoded) << name;
        EXPECT_EQ(decoded.fromThumbnail, c.fromThumbnail) << name;
        const preview::ShrunkPicture& picture = decoded.picture;
        EXPECT_GE(picture.width, c.minWidth) << name;
        EXPECT_GE(picture.height, c.minHeight) << name;
        EXPECT_LT(picture.width, 2 * c.minWidth) << name << ": shrunk by whole factors";
        EXPECT_TRUE(Reddish(At(picture, picture.width / 4, picture.height / 2))) << name;
        EXPECT_TRUE(Bluish(At(picture, picture.width * 3 / 4, picture.height / 2))) << name;
    }
}

// Which thumbnail stands for the photo: one of its aspect with each side
// rounded to whole pixels, not one of another aspect, which shows another
// picture.
TEST_F(Files, HeifThumbnailOfThePhotosAspectIsUsed) {
    const QImage photo = TwoColours(1064, 708);
    const struct {
        const char* name;
        QSize thumbnail;
        bool used;
    } cases[] = {
        {"a side rounded down (212.9)", {320, 212}, true},
        {"three pixels off", {320, 210}, false},
        {"square", {200, 200}, false},
    };
    for (const auto& c : cases) {
        testsupport::HeifSpec spec;
        spec.width = photo.width();
        spec.height = photo.height();
        spec.rgb = Rgb(photo);
        QImage thumbnail(c.thumbnail, QImage::Format_RGB32);
        thumbnail.fill(Qt::green);
        spec.thumbnailWidth = thumbnail.width();
        spec.thumbnailHeight = thumbnail.height();
        spec.thumbnailRgb = Rgb(thumbnail);
        ASSERT_EQ(testsupport::WriteHeif(Path("thumbnailed.heic"), spec), "") << c.name;
        const std::unique_ptr<HeifPhoto> heif = OpenHeif(Path("thumbnailed.heic"));
        ASSERT_NE(heif, nullptr) << c.name;
        const HeifPicture decoded = heif->Decode(200, 133, kNoBudget);
        ASSERT_EQ(decoded.result, HeifPicture::Result::Decoded) << c.name;
        EXPECT_EQ(decoded.fromThumbnail, c.used) << c.name;
        const std::array<int, 3> left =
            At(decoded.picture, decoded.picture.width / 4, decoded.picture.height / 2);
        EXPECT_EQ(Reddish(left), !c.used)
            << c.name << ": the photo's own picture, or the thumbnail's";
    }
}

TEST_F(Files, HeifBeyondTheLimitIsRefusedBeforeDecoding) {
    testsupport::HeifSpec spec;
    const QImage photo = TwoColours(320, 240);
    spec.width = photo.width();
    spec.height = photo.height();
    spec.rgb = Rgb(photo);
    spec.thumbnailSide = 80;
    ASSERT_EQ(testsupport::WriteHeif(Path("small.heic"), spec), "");
    const std::unique_ptr<HeifPhoto> heif = OpenHeif(Path("small.heic"));
    ASSERT_NE(heif, nullptr);
    // The photo costs its RGB rows (320 x 240 x 3 bytes) and the decoded
    // planes they come from; the thumbnail 80 x 60 x 3 and its planes.
    const struct {
        const char* name;
        std::uint32_t minWidth, minHeight;
        HeifPhoto::Budget budget;
        HeifPicture::Result result;
        bool fromThumbnail;
    } cases[] = {
        {"within the budget", 200, 150, kNoBudget, HeifPicture::Result::Decoded, false},
        {"the rows alone: its planes are over the budget, the thumbnail instead",
         200,
         150,
         {320 * 240 * 3, kNoLimit},
         HeifPicture::Result::Decoded,
         true},
        {"not even the thumbnail",
         200,
         150,
         {80 * 60 * 3, kNoLimit},
         HeifPicture::Result::TooLarge,
         false},
        {"no coded image allowed", 200, 150, {kNoLimit, 0}, HeifPicture::Result::TooLarge, false},
        {"the thumbnail is large enough",
         80,
         60,
         {320 * 240 * 3, kNoLimit},
         HeifPicture::Result::Decoded,
         true},
    };
    for (const auto& c : cases) {
        const HeifPicture decoded = heif->Decode(c.minWidth, c.minHeight, c.budget);
        EXPECT_EQ(decoded.result, c.result) << c.name;
        if (decoded.result == HeifPicture::Result::Decoded) {
            EXPECT_EQ(decoded.fromThumbnail, c.fromThumbnail) << c.name;
        }
    }
}

// ---- Raw files ----

struct RawCase {
    const char* name;
    testsupport::DngSpec spec;
    preview::RawFailure failure;
};

TEST_F(Files, RawFileSizePreviewAndOrientation) {
    const std::vector<std::uint8_t> jpeg = Encoded(TwoColours(60, 40), "jpeg");
    const std::vector<std::uint8_t> rgb = Rgb(TwoColours(30, 20));
    const auto dng = [&](auto change) {
        testsupport::DngSpec spec;
        spec.previewBytes = jpeg;
        spec.previewWidth = 60;
        spec.previewHeight = 40;
        change(spec);
        return spec;
    };
    const RawCase cases[] = {
        {"JPEG preview", dng([](auto&) {}), preview::RawFailure::None},
        {"big-endian", dng([](auto& s) { s.bigEndian = true; }), preview::RawFailure::None},
        {"developed size is the raw data's, not the preview's", dng([](auto& s) {
             s.width = 200;
             s.height = 90;
         }),
         preview::RawFailure::None},
        {"bitmap preview", dng([&](auto& s) {
             s.preview = testsupport::DngSpec::Preview::Bitmap;
             s.previewBytes = rgb;
             s.previewWidth = 30;
             s.previewHeight = 20;
         }),
         preview::RawFailure::None},
        {"no preview", dng([](auto& s) {
             s.preview = testsupport::DngSpec::Preview::None;
             s.previewBytes.clear();
         }),
         preview::RawFailure::NoPreview},
        {"preview running past the end", dng([](auto& s) { s.previewLengthOverride = 1u << 30; }),
         preview::RawFailure::Broken},
        {"bitmap preview claiming 60000 x 60000", dng([&](auto& s) {
             s.preview = testsupport::DngSpec::Preview::Bitmap;
             s.previewBytes = rgb;
             s.previewWidth = 60000;
             s.previewHeight = 60000;
         }),
         preview::RawFailure::TooLarge},
    };
    for (const RawCase& c : cases) {
        preview::RawFailure failure = preview::RawFailure::None;
        const std::unique_ptr<preview::RawPhoto> raw =
            OpenRaw(Write("photo.dng", testsupport::Dng(c.spec)), 64 << 20, &failure);
        EXPECT_EQ(failure, c.failure) << c.name;
        ASSERT_EQ(raw != nullptr, c.failure == preview::RawFailure::None) << c.name;
        if (!raw) continue;
        EXPECT_EQ(raw->width, c.spec.width) << c.name;
        EXPECT_EQ(raw->height, c.spec.height) << c.name;
        EXPECT_EQ(raw->orientation, 1) << c.name;
        EXPECT_EQ(raw->preview.width, c.spec.previewWidth) << c.name;
        EXPECT_EQ(raw->preview.height, c.spec.previewHeight) << c.name;
        EXPECT_EQ(std::vector(raw->preview.bytes.begin(), raw->preview.bytes.end()),
                  c.spec.previewBytes)
            << c.name;
        EXPECT_EQ(raw->preview.kind, c.spec.preview == testsupport::DngSpec::Preview::Jpeg
                                         ? RawPreview::Kind::Jpeg
                                         : RawPreview::Kind::Bitmap)
            << c.name;
    }
}

TEST_F(Files, NotRawFilesAndLimits) {
    testsupport::DngSpec spec;
    spec.previewBytes = Encoded(TwoColours(60, 40), "jpeg");
    spec.previewWidth = 60;
    spec.previewHeight = 40;
    const std::string dng = Write("photo.dng", testsupport::Dng(spec));
    const struct {
        const char* name;
        std::string path;
        std::uint64_t limit;
        preview::RawFailure failure;
    } cases[] = {
        {"a preview over the limit", dng, spec.previewBytes.size() - 1,
         preview::RawFailure::TooLarge},
        {"the limit a preview's pixels take", dng, 60 * 40 * 3, preview::RawFailure::None},
        {"a plain TIFF", Write("plain.tif", Encoded(TwoColours(60, 40), "tiff")), kNoLimit,
         preview::RawFailure::NotRaw},
        {"a JPEG", Write("photo.jpg", spec.previewBytes), kNoLimit, preview::RawFailure::NotRaw},
        {"no descriptor", Path("missing.dng"), kNoLimit, preview::RawFailure::NotRaw},
    };
    for (const auto& c : cases) {
        preview::RawFailure failure = preview::RawFailure::None;
        EXPECT_EQ(OpenRaw(c.path, c.limit, &failure) != nullptr,
                  c.failure == preview::RawFailure::None)
            << c.name;
        EXPECT_EQ(failure, c.failure) << c.name;
    }
    EXPECT_EQ(OpenHeif(Path("missing.heic")), nullptr);
    EXPECT_EQ(OpenHeif(dng), nullptr);
}

// Both decoders read what was opened, through the descriptor: the file's
// name may be gone before they are called, and the caller's descriptor may
// close before they have done.
TEST_F(Files, PreviewsReadTheFileOpenedNotItsName) {
    testsupport::DngSpec dng;
    dng.previewBytes = Encoded(TwoColours(60, 40), "jpeg");
    dng.previewWidth = 60;
    dng.previewHeight = 40;
    const std::string raw = Write("photo.dng", testsupport::Dng(dng));
    testsupport::HeifSpec heif;
    const QImage picture = TwoColours(64, 48);
    heif.width = picture.width();
    heif.height = picture.height();
    heif.rgb = Rgb(picture);
    ASSERT_EQ(testsupport::WriteHeif(Path("photo.heic"), heif), "");

    std::unique_ptr<preview::RawPhoto> rawPhoto;
    std::unique_ptr<HeifPhoto> heifPhoto;
    {
        const OpenFile rawFile(raw);
        const OpenFile heifFile(Path("photo.heic"));
        fs::remove(raw);
        fs::remove(Path("photo.heic"));
        rawPhoto = preview::OpenRawPhoto(rawFile.descriptor(), kNoLimit);
        heifPhoto = HeifPhoto::Open(heifFile.descriptor());
    }
    ASSERT_NE(rawPhoto, nullptr);
    EXPECT_EQ(std::vector(rawPhoto->preview.bytes.begin(), rawPhoto->preview.bytes.end()),
              dng.previewBytes);
    ASSERT_NE(heifPhoto, nullptr);
    const HeifPicture decoded = heifPhoto->Decode(32, 24, kNoBudget);
    ASSERT_EQ(decoded.result, HeifPicture::Result::Decoded);
    EXPECT_TRUE(
        Reddish(At(decoded.picture, decoded.picture.width / 4, decoded.picture.height / 2)));
}

}  // namespace
