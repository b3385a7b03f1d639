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
    return Cat({{0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)},
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
    return {
        {"tiff", tiff, PhotoFormat::Tiff, true},
        {"jpeg, Exif first", Jpeg(tiff), PhotoFormat::Jpeg, true},
        {"jpeg, Exif after APP0 and COM", Jpeg(tiff, afterApp0), PhotoFormat::Jpeg, true},
        {"jpeg, Exif after the tables", Jpeg(tiff, afterTables), PhotoFormat::Jpeg, true},
        {"jpeg, decodable", DecodableJpeg(tiff), PhotoFormat::Jpeg, true},
        {"jpeg, fill bytes and standalone markers",
         Cat({{0xFF, 0xD8, 0xFF, 0xFF, 0xFF}, JpegSegment(0xE0, kJfif), {0xFF, 0xD0, 0xFF, 0x01},
              Bytes(100, 0xFF), JpegSegment(0xE1, ExifPayload(tiff)), kImageData}),
         PhotoFormat::Jpeg, true},
        {"jpeg, XMP APP1 before the Exif APP1",
         Cat({{0xFF, 0xD8}, JpegSegment(0xE1, xmp), JpegSegment(0xE1, ExifPayload(tiff)), kImageData}),
         PhotoFormat::Jpeg, true},
        {"jpeg, APP1 too short for the Exif header",
         Cat({{0xFF, 0xD8}, JpegSegment(0xE1, Text("Exif")), JpegSegment(0xE1, ExifPayload(tiff)), kImageData}),
         PhotoFormat::Jpeg, true},
        {"jpeg, Exif only after the image data",
         Cat({{0xFF, 0xD8}, kImageData, JpegSegment(0xE1, ExifPayload(tiff))}), PhotoFormat::Jpeg, false},
        {"jpeg, Exif only after EOI", Cat({{0xFF, 0xD8, 0xFF, 0xD9}, JpegSegment(0xE1, ExifPayload(tiff))}),
         PhotoFormat::Jpeg, false},
        {"jpeg, garbage instead of a marker",
         Cat({{0xFF, 0xD8}, JpegSegment(0xE0, kJfif), {0x00}, JpegSegment(0xE1, ExifPayload(tiff))}),
         PhotoFormat::Jpeg, false},
        {"jpeg, Exif in APP2", Cat({{0xFF, 0xD8}, JpegSegment(0xE2, ExifPayload(tiff)), kImageData}),
         PhotoFormat::Jpeg, false},
        {"jpeg without Exif", DecodableJpeg({}), PhotoFormat::Jpeg, false},
        {"png, eXIf before IDAT", Png(tiff, true), PhotoFormat::Png, true},
        {"png, eXIf after IDAT", Png(tiff, false), PhotoFormat::Png, true},
        {"png, eXIf with an Exif header", Png(ExifPayload(tiff), true), PhotoFormat::Png, true},
        {"png without eXIf", Png({}), PhotoFormat::Png, false},
        {"webp, bare EXIF chunk", WebP(tiff, false), PhotoFormat::WebP, true},
        {"webp, EXIF chunk with an Exif header", WebP(tiff, true), PhotoFormat::WebP, true},
        {"webp, after an odd-sized chunk",
         Riff({RiffChunk("VP8X", Bytes(10, 0)), RiffChunk("ICCP", Bytes(7, 0x11)), RiffChunk("EXIF", tiff)}),
         PhotoFormat::WebP, true},
        {"webp without EXIF", WebP({}), PhotoFormat::WebP, false},
        {"bmp", Bmp(), PhotoFormat::Bmp, false},
        {"gif89a", Gif(), PhotoFormat::Gif, false},
        {"gif87a", Cat({Text("GIF87a"), Bytes(20, 0)}), PhotoFormat::Gif, false},
        {"bigtiff", Cat({Text(big ? std::string("MM\0+", 4) : std::string("II+\0", 4)), {8, 0, 0, 0}, Bytes(32, 0)}),
         PhotoFormat::Tiff, false},
        {"empty file", {}, PhotoFormat::Unknown, false},
        {"text", Text("hello, world"), PhotoFormat::Unknown, false},
        {"bare SOI", {0xFF, 0xD8}, PhotoFormat::Unknown, false},
        {"riff that is not webp", Cat({Text("RIFF"), {4, 0, 0, 0}, Text("WAVE")}), PhotoFormat::Unknown, false},
        {"exif block without container", ExifPayload(tiff), PhotoFormat::Unknown, false},
    };
}

TEST(Containers, EachFindsTheExifBlockInEitherByteOrder) {
    for (bool big : {false, true}) {
        const std::vector<Item> expected = readertest::ReadAll(readertest::OpenBytes(BuildTiff(CameraSpec(big)).bytes));
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

TEST(Containers, ANullSourceIsAnUnknownPhotoWithoutItems) {
    const reader::PropertyImage image = reader::PropertyImage::Open(nullptr);
    EXPECT_EQ(image.format(), PhotoFormat::Unknown);
    std::uint32_t count = 7;
    EXPECT_EQ(reader::GdipGetPropertyCount(&image, &count), reader::Ok);
    EXPECT_EQ(count, 0u);
}

}  // namespace
