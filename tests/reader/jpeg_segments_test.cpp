// The JPEG segment walk: what it hands out for each rule (fill bytes,
// standalone markers, stray bytes, short and cut-off lengths, the step
// budget), the same over bytes in memory and through the reader's buffered
// window; and, walking as libjpeg does, the very APPn and COM segments
// libjpeg saves before the first scan.
#include "reader/jpeg_segments.h"
#include "reader/property_source_window.h"

#include "jpeg_test_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using reader::JpegSegment;
using reader::JpegWalkRules;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// "E1@2/6": the marker in hex, its offset and its length field; "*" marks a
// segment cut short; "gave up" ends a walk out of steps.
template <class Window>
std::string Walk(Window& window, std::uint64_t start, std::uint64_t end, JpegWalkRules rules) {
    reader::JpegSegmentWalk walk(window, start, end, rules);
    std::string out;
    char text[32];
    while (const std::optional<JpegSegment> segment = walk.next()) {
        std::snprintf(text, sizeof text, "%s%02X@%llu/%u%s", out.empty() ? "" : " ",
                      segment->marker, static_cast<unsigned long long>(segment->offset),
                      unsigned{segment->length}, segment->complete ? "" : "*");
        out += text;
        if (segment->length >= 2) {
            EXPECT_EQ(segment->payload, segment->offset + 4);
        }
    }
    if (walk.gaveUp()) out += out.empty() ? "gave up" : " gave up";
    return out;
}

TEST(JpegSegments, EachRuleInMemoryAndThroughTheReadersWindow) {
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x02};
    const JpegWalkRules strict{};
    const JpegWalkRules lenient{.skipStrayBytes = true};
    struct Case {
        const char* name;
        Bytes bytes;
        JpegWalkRules rules;
        std::string expect;
        std::uint64_t start = 0, end = 0;  // end 0: the whole bytes
    };
    const Case cases[] = {
        {"segments one after another, the scan's header too",
         {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xBB, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xDA, 0x00,
          0x02},
         strict,
         "E1@2/4 DB@8/2 DA@12/2"},
        {"fill bytes before a marker", Cat({{0xFF, 0xD8, 0xFF, 0xFF}, comment}), strict, "FE@4/2"},
        {"restart markers and TEM passed over",
         Cat({{0xFF, 0xD8, 0xFF, 0xD0, 0xFF, 0x01}, comment}), strict, "FE@6/2"},
        {"SOI and EOI stand alone",
         {0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xFE, 0x00, 0x02},
         strict,
         "D8@2/0 D9@4/0 FE@6/2"},
        {"a stray byte ends a strict walk", Cat({{0xFF, 0xD8, 0x00}, comment}), strict, ""},
        {"a stray byte passed over", Cat({{0xFF, 0xD8, 0x12, 0x34}, comment}), lenient, "FE@4/2"},
        {"FF 00 ends a strict walk", Cat({{0xFF, 0xD8, 0xFF, 0x00}, comment}), strict, ""},
        {"FF 00 passed over", Cat({{0xFF, 0xD8, 0xFF, 0x00}, comment}), lenient, "FE@4/2"},
        {"a length under two claims two", Cat({{0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x01}, comment}),
         strict, "FE@2/1 FE@6/2"},
        {"a segment running past the end",
         {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 0xAA},
         strict,
         "E1@2/16*"},
        {"a length field cut off", {0xFF, 0xD8, 0xFF, 0xE1, 0x00}, lenient, "E1@2/0*"},
        {"a lone FF at the end", {0xFF, 0xD8, 0xFF}, lenient, ""},
        {"a walk inside the bytes, the second segment's length outside",
         Cat({{0x00, 0x00, 0x00, 0xFF, 0xD8}, comment, comment}), strict, "FE@5/2 FE@9/0*", 3, 11},
        {"steps run out among fill bytes", Cat({{0xFF, 0xD8}, Bytes(10, 0xFF), comment}),
         JpegWalkRules{.maxSteps = 5}, "gave up"},
        {"steps run out among stray bytes", Cat({{0xFF, 0xD8}, comment, Bytes(10, 0x00), comment}),
         JpegWalkRules{.skipStrayBytes = true, .maxSteps = 8}, "FE@2/2 gave up"},
        {"steps enough", Cat({{0xFF, 0xD8}, comment, Bytes(10, 0x00), comment}),
         JpegWalkRules{.skipStrayBytes = true, .maxSteps = 12}, "FE@2/2 FE@16/2"},
    };
    for (const Case& c : cases) {
        const std::uint64_t end = c.end ? c.end : c.bytes.size();
        reader::MemoryWindow memory(c.bytes);
        EXPECT_EQ(Walk(memory, c.start, end, c.rules), c.expect) << c.name;
        const std::unique_ptr<reader::ByteSource> source = reader::MemorySource(c.bytes);
        reader::BufferedWindow buffered(*source);
        EXPECT_EQ(Walk(buffered, c.start, end, c.rules), c.expect) << c.name << ", buffered";
    }
}

// After a scan's header the caller moves the walk past the data.
TEST(JpegSegments, GoesOnWhereTheScanDataEnds) {
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x12, 0xFF, 0x00, 0xFF, 0xD9};
    reader::MemoryWindow window(jpeg);
    reader::JpegSegmentWalk walk(window, 0, jpeg.size());
    ASSERT_EQ(walk.next()->marker, reader::jpeg::kSos);
    walk.resumeAt(9);
    const std::optional<JpegSegment> end = walk.next();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->marker, reader::jpeg::kEoi);
    EXPECT_EQ(end->offset, 9u);
}

// The APPn and COM segments of a walk that passes over stray bytes, up to the
// first scan, as libjpeg saves them.
std::vector<jpegtest::SavedSegment> LenientWalk(const Bytes& jpeg) {
    reader::MemoryWindow window(jpeg);
    reader::JpegSegmentWalk walk(window, 0, jpeg.size(), {.skipStrayBytes = true});
    std::vector<jpegtest::SavedSegment> found;
    while (const std::optional<JpegSegment> segment = walk.next()) {
        if (segment->marker == reader::jpeg::kSos || !segment->complete) break;
        if ((reader::jpeg::IsApp(segment->marker) || segment->marker == reader::jpeg::kCom) &&
            segment->length >= 2) {
            const auto payload = jpeg.begin() + static_cast<std::ptrdiff_t>(segment->payload);
            found.push_back({segment->marker, Bytes(payload, payload + segment->payloadLength())});
        }
    }
    return found;
}

// A photo with APP0, APP1, APP2, APP13 and COM segments, then the same with
// stray bytes, FF 00, restart markers, short lengths and fill bytes put
// between its segments at random: the walk finds what libjpeg saves.
TEST(JpegSegments, FindsTheSegmentsLibjpegSaves) {
    const Bytes photo = jpegtest::Encode(jpegtest::Scene(24, 16), jpegtest::Layout{});
    ASSERT_FALSE(photo.empty());
    const auto segment = [](std::uint8_t marker, const std::string& text) {
        Bytes out = {0xFF, marker, static_cast<std::uint8_t>((text.size() + 2) >> 8),
                     static_cast<std::uint8_t>(text.size() + 2)};
        out.insert(out.end(), text.begin(), text.end());
        return out;
    };
    // libjpeg writes APP0 (JFIF) first; the rest go after it.
    const std::size_t afterApp0 = 4 + (photo[4] << 8 | photo[5]);
    const std::vector<Bytes> added = {
        segment(0xE1, std::string("Exif\0\0MM\0*", 10)),
        segment(0xE2, "ICC_PROFILE"),
        segment(0xED, "Photoshop 3.0"),
        segment(0xFE, "a comment"),
        segment(0xE1, ""),
    };
    // Each ends where a marker may follow (an FF before other bytes would be
    // one); fill bytes go right before a segment.
    const std::vector<Bytes> between = {
        {0x00},
        {0x12, 0x34, 0x56},
        {0xFF, 0x00},
        {0xFF, 0xD3},
        {0xFF, 0x01},
        {0xFF, 0xFE, 0x00, 0x01},
        {0xFF, 0xFE, 0x00, 0x00},
        {0x00, 0xFF, 0x00},
    };
    std::mt19937 random(22);
    for (int round = 0; round < 200; ++round) {
        Bytes jpeg(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(afterApp0));
        for (const Bytes& more : added) {
            if (round > 0) {
                for (int count = random() % 3; count > 0; --count) {
                    const Bytes& junk = between[random() % between.size()];
                    jpeg.insert(jpeg.end(), junk.begin(), junk.end());
                }
                jpeg.insert(jpeg.end(), random() % 3, 0xFF);
            }
            jpeg.insert(jpeg.end(), more.begin(), more.end());
        }
        jpeg.insert(jpeg.end(), photo.begin() + static_cast<std::ptrdiff_t>(afterApp0),
                    photo.end());
        const std::optional<std::vector<jpegtest::SavedSegment>> saved =
            jpegtest::SegmentsBeforeScan(jpeg);
        ASSERT_TRUE(saved) << "round " << round;
        ASSERT_EQ(saved->size(), 6u) << "round " << round;
        EXPECT_EQ(LenientWalk(jpeg), *saved) << "round " << round;
    }
}

}  // namespace
