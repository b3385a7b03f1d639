// What walking a container costs: one read per 64 KiB of densely packed
// headers, large chunks skipped rather than read, and a walk that gives up
// after more headers than any photo has.
#include "reader/property_containers.h"
#include "reader/property_source_window.h"
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace testsupport;
using reader::PhotoFormat;
using readertest::PatternSource;
using readertest::SyntheticSource;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kLargestRead = reader::BufferedWindow::kLargestRead;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Repeat(const Bytes& unit, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

Bytes Be32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A PNG chunk; the walk does not check CRCs, so it is left zero.
Bytes PngChunk(const std::string& type, std::uint32_t length) {
    return Cat({Be32(length), Text(type), Bytes(length + 4u, 0)});
}

// Photos whose headers are packed densely before the Exif block: each read
// brings about 64 KiB of them.
TEST(WalkCost, DenselyPackedHeadersCostOneReadPer64KiB) {
    const Bytes tiff = BuildTiff(CameraSpec()).bytes;
    const Bytes png = Png(tiff, false);  // IHDR, IDAT, eXIf, IEND
    const Bytes pngSignatureAndHeader(png.begin(), png.begin() + 33);
    const Bytes webp = WebP(tiff);
    const Bytes webpChunks(webp.begin() + 12, webp.end());
    const Bytes jpeg = Jpeg(tiff);
    const Bytes jpegSegments(jpeg.begin() + 2, jpeg.end());
    struct Case {
        const char* name;
        Bytes bytes;
        PhotoFormat format;
    };
    const Case cases[] = {
        {"jpeg, 100000 empty COM segments",
         Cat({{0xFF, 0xD8}, Repeat({0xFF, 0xFE, 0x00, 0x02}, 100000), jpegSegments}),
         PhotoFormat::Jpeg},
        {"jpeg, 100000 fill bytes", Cat({{0xFF, 0xD8}, Bytes(100000, 0xFF), jpegSegments}),
         PhotoFormat::Jpeg},
        {"png, 20000 empty chunks",
         Cat({pngSignatureAndHeader, Repeat(PngChunk("tIME", 0), 20000),
              Bytes(png.begin() + 33, png.end())}),
         PhotoFormat::Png},
        {"png, 200 IDAT chunks of 8 KiB",
         Cat({pngSignatureAndHeader, Repeat(PngChunk("IDAT", 8192), 200),
              Bytes(png.begin() + 33, png.end())}),
         PhotoFormat::Png},
        {"webp, 30000 empty chunks",
         Cat({Text("RIFF"), readertest::Le(4 + 30000 * 8 + webpChunks.size(), 4), Text("WEBP"),
              Repeat(Cat({Text("JUNK"), Bytes(4, 0)}), 30000), webpChunks}),
         PhotoFormat::WebP},
    };
    const std::vector<readertest::Item> expected = readertest::ReadAll(readertest::OpenBytes(tiff));
    for (const Case& c : cases) {
        SyntheticSource::Stats stats;
        const reader::PropertyImage image = reader::PropertyImage::Open(
            std::make_unique<SyntheticSource>(c.bytes.size(), c.bytes, 0, Bytes{}, &stats));
        EXPECT_EQ(image.format(), c.format) << c.name;
        EXPECT_EQ(readertest::ReadAll(image), expected) << c.name;
        // The walk's reads, and one for the Exif block.
        EXPECT_LE(stats.reads, c.bytes.size() / kLargestRead + 6) << c.name;
    }
}

// A PNG as libpng writes it, its image data in 8 KiB chunks: once its Exif is
// found (before the image data), the walk ends there, so the image data's
// headers are not read; XMP and the profile before it are kept.
TEST(WalkCost, APngWithItsExifBeforeTheImageDataIsNotWalkedToItsEnd) {
    const Bytes tiff = BuildTiff(CameraSpec()).bytes;
    const Bytes png = Png(tiff, true);  // IHDR, eXIf, IDAT, IEND
    const std::size_t idat =
        png.size() - 12 - (12 + 13);  // where its one-pixel IDAT starts, before IEND
    const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    const Bytes itxt = Cat({Text(std::string("XML:com.adobe.xmp\0\0\0\0\0", 22)), Text(packet)});
    const Bytes bytes =
        Cat({Bytes(png.begin(), png.begin() + static_cast<long>(idat)),
             Be32(static_cast<std::uint32_t>(itxt.size())), Text("iTXt"), itxt, Bytes(4, 0),
             Repeat(PngChunk("IDAT", 8192), 2000), Bytes(png.end() - 12, png.end())});
    SyntheticSource::Stats stats;
    const reader::PropertyImage image = reader::PropertyImage::Open(
        std::make_unique<SyntheticSource>(bytes.size(), bytes, 0, Bytes{}, &stats));
    EXPECT_EQ(readertest::ReadAll(image), readertest::ReadAll(readertest::OpenBytes(tiff)));
    EXPECT_EQ(std::string(image.embedded().xmp.begin(), image.embedded().xmp.end()), packet);
    EXPECT_LE(stats.bytesRead, 4 * kLargestRead) << "of a file of " << bytes.size() << " bytes";
}

// Chunks of 1 MiB one after another: each header costs one small read, and
// the image data between them is not read.
TEST(WalkCost, LargeChunksAreSkippedNotRead) {
    constexpr std::uint64_t kChunk = 1u << 20;
    constexpr std::uint64_t kChunks = 100;
    const Bytes png = Png({});
    const Bytes pngHead(png.begin(), png.begin() + 33);
    const Bytes idat = Cat({Be32(kChunk), Text("IDAT")});
    Bytes idatUnit = idat;
    idatUnit.resize(8 + kChunk + 4);
    const Bytes riffHead = Cat({Text("RIFF"), readertest::Le(0xFFFFFFF0u, 4), Text("WEBP")});
    Bytes vp8Unit = Cat({Text("VP8 "), readertest::Le(kChunk, 4)});
    vp8Unit.resize(8 + kChunk);
    struct Case {
        const char* name;
        Bytes head;
        Bytes unit;
    };
    const Case cases[] = {
        {"png", pngHead, idatUnit},
        {"webp", riffHead, vp8Unit},
    };
    for (const Case& c : cases) {
        SyntheticSource::Stats stats;
        const std::uint64_t size = c.head.size() + kChunks * c.unit.size();
        const reader::PropertyImage image = reader::PropertyImage::Open(
            std::make_unique<PatternSource>(size, c.head, c.unit, &stats));
        EXPECT_TRUE(image.items().empty()) << c.name;
        EXPECT_LE(stats.reads, kChunks + 2) << c.name;
        EXPECT_LE(stats.bytesRead, (kChunks + 2) * 2 * reader::BufferedWindow::kFirstRead)
            << c.name;
    }
}

// Files made of nothing but headers, far more than a photo has: the walk
// stops after kMaxHeaders, having read only those.
TEST(WalkCost, AWalkGivesUpAfterAMillionHeaders) {
    constexpr std::uint64_t k2GiB = std::uint64_t{2} << 30;
    const Bytes png = Png({});
    const Bytes ftyp = Cat({Be32(20), Text("ftypheic"), Be32(0), Text("mif1")});
    struct Case {
        const char* name;
        std::uint64_t size;
        Bytes head;
        Bytes unit;  // one header, repeated
        PhotoFormat format;
    };
    const Case cases[] = {
        {"jpeg, 40 MB of empty segments",
         40'000'000,
         {0xFF, 0xD8},
         {0xFF, 0xFE, 0x00, 0x02},
         PhotoFormat::Jpeg},
        {"jpeg, 40 MB of fill bytes", 40'000'000, {0xFF, 0xD8}, {0xFF}, PhotoFormat::Jpeg},
        {"jpeg, 40 MB of restart markers",
         40'000'000,
         {0xFF, 0xD8},
         {0xFF, 0xD0},
         PhotoFormat::Jpeg},
        {"png, 2 GiB of empty chunks", k2GiB, Bytes(png.begin(), png.begin() + 33), Bytes(12, 0),
         PhotoFormat::Png},
        {"webp, 2 GiB of empty chunks", k2GiB, Cat({Text("RIFF"), Bytes(4, 0xFF), Text("WEBP")}),
         Bytes(8, 0), PhotoFormat::WebP},
        {"heic, 2 GiB of empty boxes", k2GiB, ftyp, Cat({Be32(8), Text("free")}),
         PhotoFormat::Heif},
    };
    for (const Case& c : cases) {
        SyntheticSource::Stats stats;
        const reader::PropertyImage image = reader::PropertyImage::Open(
            std::make_unique<PatternSource>(c.size, c.head, c.unit, &stats));
        EXPECT_EQ(image.format(), c.format) << c.name;
        EXPECT_TRUE(image.items().empty()) << c.name;
        const std::uint64_t headerBytes = reader::kMaxHeaders * c.unit.size();
        EXPECT_LE(stats.bytesRead, headerBytes + 2 * kLargestRead) << c.name;
        EXPECT_LE(stats.reads, headerBytes / kLargestRead + 8) << c.name;
    }
}

}  // namespace

// The count the image layer weighs before libjpeg reads a header: segments
// up to the image data as libjpeg walks them (fill bytes, standalone markers
// and stray bytes passed over, not counted), and counting stops one past the
// limit however many more follow, or where the walk gives up.
TEST(WalkCost, JpegSegmentsCountedUpToTheImageData) {
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x02};
    const Bytes scan = {0xFF, 0xDA, 0x00, 0x02};
    struct Case {
        const char* name;
        Bytes bytes;
        std::uint64_t size;  // of the source, `unit` repeated to it
        std::uint64_t limit, expect;
        Bytes unit = {0xFF, 0xFE, 0x00, 0x02};
        std::uint64_t mostRead = kLargestRead;  // not the 40 MB
    };
    const Case cases[] = {
        {"not a jpeg", Cat({{0x89, 'P', 'N', 'G'}, comment}), 0, 10, 0},
        {"three comments before the scan",
         Cat({{0xFF, 0xD8}, Repeat(comment, 3), scan, Repeat(comment, 5)}), 0, 10, 3},
        {"fill bytes and a restart marker",
         Cat({{0xFF, 0xD8, 0xFF, 0xFF, 0xD0}, comment, {0xFF, 0xFF}, comment, scan}), 0, 10, 2},
        {"a segment cut short", Cat({{0xFF, 0xD8}, comment, {0xFF, 0xE1, 0x00}}), 0, 10, 1},
        {"100 comments, limit 10", Cat({{0xFF, 0xD8}, Repeat(comment, 100), scan}), 0, 10, 11},
        {"40 MB of comments, limit 4096", {0xFF, 0xD8}, 40'000'000, 4096, 4097},
        {"a stray byte before 100 comments", Cat({{0xFF, 0xD8, 0x00}, Repeat(comment, 100), scan}),
         0, 10, 11},
        {"stray bytes and FF 00 between comments",
         Cat({{0xFF, 0xD8}, comment, {0x12, 0x34}, comment, {0xFF, 0x00}, comment, scan}), 0, 10,
         3},
        {"a length under two", Cat({{0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x00}, comment, scan}), 0, 10,
         2},
        {"a second SOI", Cat({{0xFF, 0xD8}, comment, {0xFF, 0xD8}, comment, scan}), 0, 10, 1},
        {"40 MB of stray bytes",
         {0xFF, 0xD8},
         40'000'000,
         4096,
         4097,
         {0x00},
         reader::kMaxHeaders + 2 * kLargestRead},
    };
    for (const Case& c : cases) {
        SyntheticSource::Stats stats;
        std::unique_ptr<reader::ByteSource> source =
            c.size ? std::unique_ptr<reader::ByteSource>(
                         std::make_unique<PatternSource>(c.size, c.bytes, c.unit, &stats))
                   : reader::MemorySource(c.bytes);
        EXPECT_EQ(reader::CountJpegSegments(*source, c.limit), c.expect) << c.name;
        EXPECT_LE(stats.bytesRead, c.mostRead) << c.name;
    }
}

// Through the scans, as libjpeg reads while decoding: a scan's data (with
// stuffed 0xFF, fill bytes and restart markers in it) is passed over up to the
// marker that ends it, and the segments between and after the scans count
// up to the end of the image.
TEST(WalkCost, JpegSegmentsCountedThroughTheScans) {
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x02};
    const Bytes scan = {0xFF, 0xDA, 0x00, 0x02};
    const Bytes data = {0x12, 0xFF, 0x00, 0xFE, 0xFF, 0xD3, 0x34, 0xFF, 0xFF, 0x00, 0xFE, 0x02};
    const Bytes eoi = {0xFF, 0xD9};
    const struct {
        const char* name;
        Bytes bytes;
        std::uint64_t limit, expect;
    } cases[] = {
        {"comments after the only scan", Cat({{0xFF, 0xD8}, scan, data, Repeat(comment, 5), eoi}),
         100, 6},
        {"comments between two scans",
         Cat({{0xFF, 0xD8}, comment, scan, data, Repeat(comment, 3), scan, data, eoi}), 100, 6},
        {"none counted after the end of the image",
         Cat({{0xFF, 0xD8}, scan, data, eoi, Repeat(comment, 50)}), 100, 1},
        {"data looking like comments is not counted",
         Cat({{0xFF, 0xD8}, scan, Repeat({0xFE, 0x00}, 50), eoi}), 10, 1},
        {"stuffed bytes and fill bytes before a comment",
         Cat({{0xFF, 0xD8}, scan, {0xFF, 0x00, 0xFF, 0xFF}, comment}), 10, 2},
        {"a scan running to the end", Cat({{0xFF, 0xD8}, comment, scan, data}), 10, 2},
        {"5000 comments after the scan, limit 4096",
         Cat({{0xFF, 0xD8}, scan, data, Repeat(comment, 5000), eoi}), 4096, 4097},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<reader::ByteSource> source = reader::MemorySource(c.bytes);
        EXPECT_EQ(reader::CountJpegSegments(*source, c.limit, true), c.expect) << c.name;
    }
}
