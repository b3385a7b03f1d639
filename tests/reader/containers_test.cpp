// Finding the Exif block in every container, in both byte orders.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;
using reader::PhotoFormat;
using readertest::Item;
using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes JpegSegment(std::uint8_t marker, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    return Cat(
        {{0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)},
         payload});
}

Bytes ExifPayload(const Bytes& tiff) { return Cat({Text(std::string("Exif\0\0", 6)), tiff}); }

const Bytes kJfif = Cat({Text("JFIF"), {0, 1, 1, 0, 0, 1, 0, 1, 0, 0}});
const Bytes kImageData = Cat({JpegSegment(0xDA, {1, 1, 0, 0, 63, 0}), {0x3F, 0x00, 0xFF, 0xD9}});

Bytes RiffChunk(const std::string& fourcc, const Bytes& data) {
    Bytes out = Cat({Text(fourcc), readertest::Le(data.size(), 4), data});
    if (data.size() % 2) out.push_back(0);
    return out;
}

Bytes Riff(std::initializer_list<Bytes> chunks) {
    const Bytes body = Cat({Text("WEBP"), Cat(chunks)});
    return Cat({Text("RIFF"), readertest::Le(body.size(), 4), body});
}

struct Case {
    std::string name;
    Bytes bytes;
    PhotoFormat format;
    bool hasItems;  // the camera items; otherwise none
};

std::vector<Case> Cases(bool big) {
    const Bytes tiff = BuildTiff(CameraSpec(big)).bytes;
    JpegOptions afterApp0;
    afterApp0.before = {{0xE0, kJfif}, {0xFE, Text("a comment")}};
    JpegOptions afterTables;
    afterTables.before = {{0xDB, Bytes(65, 1)}, {0xC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}}};
    const Bytes xmp = Text(std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34));
    const auto heif = [&](auto change) {
        HeifOptions options;
        change(options);
        return Heif(tiff, options);
    };
    const auto profile = [&](auto change) {
        RawProfileOptions options;
        change(options);
        return PngRawProfile(tiff, options);
    };
    std::vector<Case> cases = {
        {"heic", Heif(tiff), PhotoFormat::Heif, true},
        {"heic, item location version 1, base offsets and extent indexes", heif([](HeifOptions& o) {
             o.ilocVersion = 1;
             o.baseOffsetSize = 4;
             o.indexSize = 4;
         }),
         PhotoFormat::Heif, true},
        {"heic, item location version 2, 64-bit offsets and lengths, 32-bit item ids",
         heif([](HeifOptions& o) {
             o.ilocVersion = 2;
             o.offsetSize = 8;
             o.lengthSize = 8;
             o.baseOffsetSize = 8;
             o.infeVersion = 3;
         }),
         PhotoFormat::Heif, true},
        {"heic, Exif item in idat", heif([](HeifOptions& o) {
             o.ilocVersion = 1;
             o.inIdat = true;
         }),
         PhotoFormat::Heif, true},
        {"heic, Exif item in three pieces", heif([](HeifOptions& o) { o.pieces = 3; }),
         PhotoFormat::Heif, true},
        {"heic, Exif item in idat in two pieces", heif([](HeifOptions& o) {
             o.ilocVersion = 2;
             o.inIdat = true;
             o.pieces = 2;
         }),
         PhotoFormat::Heif, true},
        {"heic, meta after mdat", heif([](HeifOptions& o) { o.metaAfterMdat = true; }),
         PhotoFormat::Heif, true},
        {"heic, 64-bit box sizes", heif([](HeifOptions& o) { o.largeSizes = true; }),
         PhotoFormat::Heif, true},
        {"heic, TIFF header right after the offset field",
         heif([](HeifOptions& o) { o.exifHeader = false; }), PhotoFormat::Heif, true},
        {"heic, offset field 0 before \"Exif\\0\\0\"",
         heif([](HeifOptions& o) { o.tiffOffset = 0; }), PhotoFormat::Heif, true},
        {"heic, offset field past the item",
         heif([](HeifOptions& o) { o.tiffOffset = 0x7FFFFFFF; }), PhotoFormat::Heif, true},
        {"heic, offset field to no TIFF header", heif([](HeifOptions& o) {
             o.tiffOffset = 2;
             o.exifHeader = false;
         }),
         PhotoFormat::Heif, true},
        {"heif, mif1 brand", heif([](HeifOptions& o) {
             o.majorBrand = "mif1";
             o.compatibleBrands = {"mif1"};
         }),
         PhotoFormat::Heif, true},
        {"avif", heif([](HeifOptions& o) {
             o.majorBrand = "avif";
             o.compatibleBrands = {"mif1", "avif", "miaf"};
         }),
         PhotoFormat::Avif, true},
        {"avif, mif1 major brand", heif([](HeifOptions& o) {
             o.majorBrand = "mif1";
             o.compatibleBrands = {"mif1", "avif"};
         }),
         PhotoFormat::Avif, true},
        {"heic without Exif item", Heif({}), PhotoFormat::Heif, false},
        {"iso video", heif([](HeifOptions& o) {
             o.majorBrand = "isom";
             o.compatibleBrands = {"isom", "mp41"};
         }),
         PhotoFormat::Unknown, false},
        {"raf", Raf(Jpeg(tiff, afterApp0)), PhotoFormat::Raf, true},
        {"raf, JPEG without Exif", Raf(DecodableJpeg({})), PhotoFormat::Raf, false},
        {"orf", WithHeader(tiff, big ? "MMOR" : "IIRO"), PhotoFormat::Orf, true},
        {"png, raw profile exif in zTXt", PngRawProfile(tiff), PhotoFormat::Png, true},
        {"png, raw profile APP1 in tEXt", profile([](RawProfileOptions& o) {
             o.chunk = "tEXt";
             o.name = "APP1";
         }),
         PhotoFormat::Png, true},
        {"png, raw profile app1 in zTXt, as ImageMagick names it",
         profile([](RawProfileOptions& o) { o.name = "app1"; }), PhotoFormat::Png, true},
        {"png, raw profile in compressed iTXt",
         profile([](RawProfileOptions& o) { o.chunk = "iTXt"; }), PhotoFormat::Png, true},
        {"png, raw profile in plain iTXt", profile([](RawProfileOptions& o) {
             o.chunk = "iTXt";
             o.compressed = false;
         }),
         PhotoFormat::Png, true},
        {"png, raw profile without Exif header",
         profile([](RawProfileOptions& o) { o.exifHeader = false; }), PhotoFormat::Png, true},
        {"png, eXIf chunk after a raw profile",
         PngRawProfile(BuildTiff(TiffSpec{}).bytes, RawProfileOptions{.eXIf = tiff}),
         PhotoFormat::Png, true},
        {"png, raw profile of another kind", profile([](RawProfileOptions& o) { o.name = "iptc"; }),
         PhotoFormat::Png, false},

        {"tiff", tiff, PhotoFormat::Tiff, true},
        {"jpeg, Exif first", Jpeg(tiff), PhotoFormat::Jpeg, true},
        {"jpeg, Exif after APP0 and COM", Jpeg(tiff, afterApp0), PhotoFormat::Jpeg, true},
        {"jpeg, Exif after the tables", Jpeg(tiff, afterTables), PhotoFormat::Jpeg, true},
        {"jpeg, decodable", DecodableJpeg(tiff), PhotoFormat::Jpeg, true},
        {"jpeg, fill bytes and standalone markers",
         Cat({{0xFF, 0xD8, 0xFF, 0xFF, 0xFF},
              JpegSegment(0xE0, kJfif),
              {0xFF, 0xD0, 0xFF, 0x01},
              Bytes(100, 0xFF),
              JpegSegment(0xE1, ExifPayload(tiff)),
              kImageData}),
         PhotoFormat::Jpeg, true},
        {"jpeg, XMP APP1 before the Exif APP1",
         Cat({{0xFF, 0xD8},
              JpegSegment(0xE1, xmp),
              JpegSegment(0xE1, ExifPayload(tiff)),
              kImageData}),
         PhotoFormat::Jpeg, true},
        {"jpeg, APP1 too short for the Exif header",
         Cat({{0xFF, 0xD8},
              JpegSegment(0xE1, Text("Exif")),
              JpegSegment(0xE1, ExifPayload(tiff)),
              kImageData}),
         PhotoFormat::Jpeg, true},
        {"jpeg, Exif only after the image data",
         Cat({{0xFF, 0xD8}, kImageData, JpegSegment(0xE1, ExifPayload(tiff))}), PhotoFormat::Jpeg,
         false},
        {"jpeg, Exif only after EOI",
         Cat({{0xFF, 0xD8, 0xFF, 0xD9}, JpegSegment(0xE1, ExifPayload(tiff))}), PhotoFormat::Jpeg,
         false},
        {"jpeg, garbage instead of a marker",
         Cat({{0xFF, 0xD8},
              JpegSegment(0xE0, kJfif),
              {0x00},
              JpegSegment(0xE1, ExifPayload(tiff))}),
         PhotoFormat::Jpeg, false},
        {"jpeg, Exif in APP2",
         Cat({{0xFF, 0xD8}, JpegSegment(0xE2, ExifPayload(tiff)), kImageData}), PhotoFormat::Jpeg,
         false},
        {"jpeg without Exif", DecodableJpeg({}), PhotoFormat::Jpeg, false},
        {"png, eXIf before IDAT", Png(tiff, true), PhotoFormat::Png, true},
        {"png, eXIf after IDAT", Png(tiff, false), PhotoFormat::Png, true},
        {"png, eXIf with an Exif header", Png(ExifPayload(tiff), true), PhotoFormat::Png, true},
        {"png without eXIf", Png({}), PhotoFormat::Png, false},
        {"webp, bare EXIF chunk", WebP(tiff, false), PhotoFormat::WebP, true},
        {"webp, EXIF chunk with an Exif header", WebP(tiff, true), PhotoFormat::WebP, true},
        {"webp, after an odd-sized chunk",
         Riff({RiffChunk("VP8X", Bytes(10, 0)), RiffChunk("ICCP", Bytes(7, 0x11)),
               RiffChunk("EXIF", tiff)}),
         PhotoFormat::WebP, true},
        {"webp without EXIF", WebP({}), PhotoFormat::WebP, false},
        {"bmp", Bmp(), PhotoFormat::Bmp, false},
        {"gif89a", Gif(), PhotoFormat::Gif, false},
        {"gif87a", Cat({Text("GIF87a"), Bytes(20, 0)}), PhotoFormat::Gif, false},
        {"bigtiff",
         Cat({Text(big ? std::string("MM\0+", 4) : std::string("II+\0", 4)),
              {8, 0, 0, 0},
              Bytes(32, 0)}),
         PhotoFormat::Tiff, false},
        {"empty file", {}, PhotoFormat::Unknown, false},
        {"text", Text("hello, world"), PhotoFormat::Unknown, false},
        {"bare SOI", {0xFF, 0xD8}, PhotoFormat::Unknown, false},
        {"riff that is not webp", Cat({Text("RIFF"), {4, 0, 0, 0}, Text("WAVE")}),
         PhotoFormat::Unknown, false},
        {"exif block without container", ExifPayload(tiff), PhotoFormat::Unknown, false},
    };
    if (!big) {  // headers that exist in one byte order only
        cases.push_back({"orf, IIRS", WithHeader(tiff, "IIRS"), PhotoFormat::Orf, true});
        cases.push_back({"rw2", WithHeader(tiff, std::string("IIU\0", 4)), PhotoFormat::Rw2, true});
    }
    return cases;
}

TEST(Containers, EachFindsTheExifBlockInEitherByteOrder) {
    for (bool big : {false, true}) {
        const std::vector<Item> expected =
            readertest::ReadAll(readertest::OpenBytes(BuildTiff(CameraSpec(big)).bytes));
        ASSERT_GT(expected.size(), 50u);
        for (const Case& c : Cases(big)) {
            const std::string name = c.name + (big ? " (big-endian)" : " (little-endian)");
            const reader::PropertyImage image = readertest::OpenBytes(c.bytes);
            EXPECT_EQ(image.format(), c.format) << name;
            if (c.hasItems) {
                EXPECT_EQ(readertest::ReadAll(image), expected) << name;
            } else {
                EXPECT_TRUE(image.items().empty()) << name;
            }
        }
    }
}

// Raw files that are TIFF files: their extra IFD0 tags are items like any
// other, their sub-directories and the images chained after IFD1 are not
// listed, and a CR2's header extension is skipped over by IFD0's offset.
TEST(Containers, RawFilesShapedAsTiffListAsTiff) {
    struct Shape {
        const char* name;
        std::vector<Field> ifd0Extra;
        Bytes afterHeader;
        bool rawIfd;  // a raw image directory chained after IFD1
    };
    const Field subIfds = [] {
        Field f = Long(0x014A, {0, 0});
        f.offsetOverride = 8;  // to IFD0 itself: not followed
        return f;
    }();
    const Shape shapes[] = {
        {"dng",
         {Byte(0xC612, {1, 4, 0, 0}), Ascii(0xC614, "Canon EOS 5D Mark IV"), subIfds},
         {},
         false},
        {"cr2", {Short(0x0111, {0}), Short(0x0117, {0})}, {'C', 'R', 2, 0, 0, 0, 0, 0}, true},
        {"nef", {subIfds, Byte(0x9216, {1, 0, 0, 0})}, {}, true},
        {"nrw", {Short(0x0100, {160}), Short(0x0101, {120}), subIfds}, {}, false},
        {"arw", {subIfds, Undefined(0xC634, {1, 2, 3, 4, 5, 6, 7, 8})}, {}, true},
        {"pef", {Undefined(0xC634, {'P', 'E', 'N', 'T', 'A', 'X', ' ', 0})}, {}, false},
        {"srw", {Long(0xA010, {1}), subIfds}, {}, true},
    };
    for (bool big : {false, true}) {
        for (const Shape& shape : shapes) {
            const std::string name = std::string(shape.name) + (big ? " (big-endian)" : "");
            TiffSpec plain = CameraSpec(big);
            plain.ifd0.fields.insert(plain.ifd0.fields.end(), shape.ifd0Extra.begin(),
                                     shape.ifd0Extra.end());
            RawParts raw;
            raw.afterHeader = shape.afterHeader;
            if (shape.rawIfd) {
                Ifd rawIfd;
                rawIfd.fields = {Short(0x0100, {6720}), Short(0x0101, {4480}), Short(0x0103, {6})};
                raw.ifd2 = rawIfd;
            }
            const reader::PropertyImage image = readertest::OpenBytes(BuildTiff(plain, raw).bytes);
            const reader::PropertyImage expected = readertest::OpenBytes(BuildTiff(plain).bytes);
            EXPECT_EQ(image.format(), PhotoFormat::Tiff) << name;
            EXPECT_EQ(readertest::Ids(image), readertest::Ids(expected)) << name;
            for (std::uint32_t id : {0x010Fu, 0x829Au, 0x0002u, 0x5023u}) {
                EXPECT_EQ(readertest::ValueOf(image, id), readertest::ValueOf(expected, id))
                    << name << " " << id;
            }
        }
    }
}

TEST(Containers, ANullSourceIsAnUnknownPhotoWithoutItems) {
    const reader::PropertyImage image = reader::PropertyImage::Open(nullptr);
    EXPECT_EQ(image.format(), PhotoFormat::Unknown);
    EXPECT_TRUE(image.items().empty());
    EXPECT_EQ(image.find(0x010F), nullptr);
}

}  // namespace
