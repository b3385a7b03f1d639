// Reading the items' values: each item's own value, little-endian; the start
// of a long value in whole elements; a tag listed twice; values that can no
// longer be read; the renumbered thumbnail tags.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace testsupport;
using reader::PropertyImage;
using Bytes = std::vector<std::uint8_t>;

TEST(ItemValues, EachItemHandsOutItsTypeAndItsValueLittleEndian) {
    for (bool big : {false, true}) {
        TiffSpec spec;
        spec.bigEndian = big;
        spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6}),
                            Raw(0x0201, reader::PropertyTypeLong, 0, {}),
                            Rational(0x011A, {{72, 1}}), Raw(0x9C9B, 129, 3, {'a', 'b', 0})};
        const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
        const std::vector<readertest::Item> expected = {
            {0x010F, 2, {'C', 'a', 'n', 'o', 'n', 0}},
            {0x0112, 3, {6, 0}},
            {0x0201, 4, {}},
            {0x011A, 5, {72, 0, 0, 0, 1, 0, 0, 0}},
            {0x9C9B, 129, {'a', 'b', 0}},  // Exif 3.0's UTF-8 type is listed like ASCII
        };
        EXPECT_EQ(readertest::ReadAll(image), expected) << (big ? "MM" : "II");
    }
}

// The start of a long value, cut to the bytes asked for, is the start of the
// whole value in whole elements; the length read says that it was cut.
TEST(ItemValues, TheStartOfALongValueIsReadInWholeElements) {
    for (bool big : {false, true}) {
        TiffSpec spec;
        spec.bigEndian = big;
        spec.ifd0.fields = {Ascii(0x010E, "a long description"), Short(0x9214, {1, 2, 3, 4, 5}),
                            Rational(0x0002, {{35, 1}, {30, 1}, {15, 2}}), Short(0x0112, {6})};
        const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
        struct Case {
            std::uint32_t id;
            std::uint32_t limit;     // bytes asked for
            std::uint32_t expected;  // value bytes read
        };
        const Case cases[] = {
            {0x010E, 0, 0},  {0x010E, 5, 5},   {0x010E, 19, 19}, {0x010E, 40, 19},
            {0x9214, 1, 0},  {0x9214, 7, 6},   {0x9214, 10, 10}, {0x9214, 11, 10},
            {0x0002, 15, 8}, {0x0002, 16, 16}, {0x0002, 23, 16}, {0x0002, 24, 24},
            {0x0112, 1, 0},  {0x0112, 2, 2},
        };
        for (const Case& c : cases) {
            const std::string name =
                std::to_string(c.id) + " in " + std::to_string(c.limit) + (big ? " (MM)" : " (II)");
            const Bytes whole = readertest::ValueOf(image, c.id);
            Bytes part(3, 0xEE);  // replaced, not appended to
            ASSERT_TRUE(image.readValue(*image.find(c.id), part, c.limit)) << name;
            EXPECT_EQ(part, Bytes(whole.begin(), whole.begin() + c.expected)) << name;
        }
    }
}

// Blocks kept in a number type (IPTC as LONG in a big-endian TIFF) are read
// as the file stores them.
TEST(ItemValues, StoredBytesAreNotSwapped) {
    const Bytes iptc = {0x1C, 0x02, 0x05, 0x00, 0x03, 'a', 'b', 'c'};
    for (bool big : {false, true}) {
        TiffSpec spec;
        spec.bigEndian = big;
        // The builder swaps LONGs for a big-endian file: give it the bytes it will store.
        Bytes le = iptc;
        if (big)
            for (std::size_t at = 0; at < le.size(); at += 4)
                std::reverse(le.begin() + at, le.begin() + at + 4);
        spec.ifd0.fields = {Raw(0x83BB, reader::PropertyTypeLong, 2, le)};
        const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
        Bytes stored;
        ASSERT_TRUE(image.readStored(*image.find(0x83BB), stored, 64));
        EXPECT_EQ(stored, iptc) << (big ? "MM" : "II");
        EXPECT_EQ(image.embedded().iptc, iptc) << (big ? "MM" : "II");
    }
}

// Every item of a tag that is listed several times (twice in IFD0, in the
// Exif directory, in GPS) can be found and read in list order.
TEST(ItemValues, ATagListedSeveralTimesKeepsEachValue) {
    TiffSpec spec;
    spec.ifd0.fields = {Short(0x0001, {10}), Short(0x0002, {20}), Short(0x0001, {11})};
    Ifd exif;
    exif.fields = {Short(0x0001, {12})};
    spec.exif = exif;
    Ifd gps;
    gps.fields = {Ascii(0x0001, "N")};
    spec.gps = gps;
    const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
    struct Case {
        std::uint32_t occurrence;
        Bytes value;
    };
    const Case cases[] = {{0, {10, 0}}, {1, {11, 0}}, {2, {12, 0}}, {3, {'N', 0}}, {4, {}}};
    for (const Case& c : cases) {
        EXPECT_EQ(readertest::ValueOf(image, 0x0001, c.occurrence), c.value)
            << "occurrence " << c.occurrence;
    }
    std::vector<Bytes> walked;
    for (const readertest::Item& item : readertest::ReadAll(image))
        if (item.id == 0x0001) walked.push_back(item.value);
    EXPECT_EQ(walked, (std::vector<Bytes>{{10, 0}, {11, 0}, {12, 0}, {'N', 0}}));
}

TEST(ItemValues, TensOfThousandsOfItemsEachReadTheirOwnValue) {
    // 60,000 entries over seven tag numbers.
    TiffSpec spec;
    for (std::uint32_t i = 0; i < 60000; ++i) {
        spec.ifd0.fields.push_back(Long(static_cast<std::uint16_t>(0x9000 + i % 7), {i}));
    }
    const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
    const std::vector<readertest::Item> items = readertest::ReadAll(image);
    ASSERT_EQ(items.size(), 60000u);
    for (std::uint32_t i = 0; i < 60000; ++i) {
        ASSERT_EQ(items[i], (readertest::Item{0x9000 + i % 7, 4, readertest::Le(i, 4)}))
            << "item " << i;
    }
    EXPECT_EQ(readertest::ValueOf(image, 0x9003, 5000), readertest::Le(35003, 4));
}

TEST(ItemValues, AValueThatCanNoLongerBeReadIsAFailureWithNoBytes) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6})};
    const Bytes tiff = BuildTiff(spec).bytes;
    readertest::SyntheticSource::Stats stats;
    const PropertyImage image = PropertyImage::Open(
        std::make_unique<readertest::SyntheticSource>(tiff.size(), tiff, 0, Bytes{}, &stats));
    ASSERT_EQ(image.items().size(), 2u);
    stats.failReads = true;  // e.g. the file was cut short after it was opened

    Bytes value{1, 2, 3};
    EXPECT_FALSE(image.readValue(*image.find(0x010F), value));
    EXPECT_TRUE(value.empty());
    // An inline value needs no read.
    EXPECT_EQ(readertest::ValueOf(image, 0x0112), (Bytes{6, 0}));
}

// IFD1 reuses the main image's tag numbers; its items are renumbered so that
// they cannot pass for the main image's, and its other tags are not listed.
TEST(ItemValues, TheThumbnailsTagsAreRenumbered) {
    TiffSpec spec;
    spec.ifd0.fields = {Short(0x0103, {6}), Long(0x0100, {4000})};
    Ifd ifd1;
    ifd1.fields = {Short(0x0103, {6}), Long(0x0100, {160}), Long(0x0201, {900}), Long(0x0202, {64}),
                   Short(0x9999, {1})};
    spec.ifd1 = ifd1;
    const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
    EXPECT_EQ(readertest::Ids(image),
              (std::vector<std::uint32_t>{0x0103, 0x0100, 0x5023, 0x5020, 0x0201, 0x0202}));
    EXPECT_EQ(readertest::ValueOf(image, 0x5020), readertest::Le(160, 4));
    EXPECT_EQ(readertest::ValueOf(image, 0x0100), readertest::Le(4000, 4));
}

}  // namespace
