// The four Gdip operations: statuses, the item record, duplicates.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace testsupport;
using reader::GpStatus;
using reader::PropertyImage;
using reader::PropertyItem;
using Bytes = std::vector<std::uint8_t>;

PropertyImage SmallImage() {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6})};
    return readertest::OpenBytes(BuildTiff(spec).bytes);
}

TEST(Gdip, CountAndIdList) {
    const PropertyImage image = SmallImage();
    std::uint32_t count = 0;
    EXPECT_EQ(reader::GdipGetPropertyCount(&image, &count), reader::Ok);
    EXPECT_EQ(count, 2u);
    std::uint32_t ids[2] = {};
    EXPECT_EQ(reader::GdipGetPropertyIdList(&image, 2, ids), reader::Ok);
    EXPECT_EQ(ids[0], 0x010Fu);
    EXPECT_EQ(ids[1], 0x0112u);
}

TEST(Gdip, StatusesOfBadCalls) {
    const PropertyImage image = SmallImage();
    const PropertyImage empty = readertest::OpenBytes({});
    std::uint32_t value = 0;
    std::uint32_t ids[3] = {};
    alignas(PropertyItem) std::uint8_t buffer[64] = {};
    auto* item = reinterpret_cast<PropertyItem*>(buffer);
    const std::uint32_t makeSize = sizeof(PropertyItem) + 6;
    struct Case {
        const char* name;
        GpStatus status;
        GpStatus expected;
    };
    const Case cases[] = {
        {"count, no image", reader::GdipGetPropertyCount(nullptr, &value), reader::InvalidParameter},
        {"count, no output", reader::GdipGetPropertyCount(&image, nullptr), reader::InvalidParameter},
        {"ids, no image", reader::GdipGetPropertyIdList(nullptr, 2, ids), reader::InvalidParameter},
        {"ids, too few", reader::GdipGetPropertyIdList(&image, 1, ids), reader::InvalidParameter},
        {"ids, too many", reader::GdipGetPropertyIdList(&image, 3, ids), reader::InvalidParameter},
        {"ids, no list", reader::GdipGetPropertyIdList(&image, 2, nullptr), reader::InvalidParameter},
        {"ids, none of none", reader::GdipGetPropertyIdList(&empty, 0, nullptr), reader::Ok},
        {"size, no image", reader::GdipGetPropertyItemSize(nullptr, 0x010F, &value), reader::InvalidParameter},
        {"size, no output", reader::GdipGetPropertyItemSize(&image, 0x010F, nullptr), reader::InvalidParameter},
        {"size, unknown id", reader::GdipGetPropertyItemSize(&image, 0x0110, &value), reader::PropertyNotFound},
        {"size, second of one", reader::GdipGetPropertyItemSize(&image, 0x010F, &value, 1),
         reader::PropertyNotFound},
        {"size, id above 16 bits", reader::GdipGetPropertyItemSize(&image, 0x1010F, &value),
         reader::PropertyNotFound},
        {"item, no image", reader::GdipGetPropertyItem(nullptr, 0x010F, makeSize, item), reader::InvalidParameter},
        {"item, no buffer", reader::GdipGetPropertyItem(&image, 0x010F, makeSize, nullptr),
         reader::InvalidParameter},
        {"item, size one short", reader::GdipGetPropertyItem(&image, 0x010F, makeSize - 1, item),
         reader::InvalidParameter},
        {"item, size one over", reader::GdipGetPropertyItem(&image, 0x010F, makeSize + 1, item),
         reader::InvalidParameter},
        {"item, unknown id", reader::GdipGetPropertyItem(&image, 0x0110, makeSize, item), reader::PropertyNotFound},
        {"item, second of one", reader::GdipGetPropertyItem(&image, 0x010F, makeSize, item, 1),
         reader::PropertyNotFound},
        {"item, first", reader::GdipGetPropertyItem(&image, 0x010F, makeSize, item), reader::Ok},
    };
    for (const Case& c : cases) EXPECT_EQ(c.status, c.expected) << c.name;
}

TEST(Gdip, ItemBufferHoldsTheRecordAndThenTheValue) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6}), Raw(0x0201, reader::PropertyTypeLong, 0, {})};
    const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
    struct Case {
        std::uint32_t id;
        std::uint16_t type;
        Bytes value;
    };
    const Case cases[] = {{0x010F, 2, {'C', 'a', 'n', 'o', 'n', 0}}, {0x0112, 3, {6, 0}}, {0x0201, 4, {}}};
    for (const Case& c : cases) {
        std::uint32_t size = 0;
        ASSERT_EQ(reader::GdipGetPropertyItemSize(&image, c.id, &size), reader::Ok);
        EXPECT_EQ(size, sizeof(PropertyItem) + c.value.size());
        std::vector<std::uint8_t> buffer(size + 8, 0xEE);  // 8 guard bytes
        auto* item = reinterpret_cast<PropertyItem*>(buffer.data());
        ASSERT_EQ(reader::GdipGetPropertyItem(&image, c.id, size, item), reader::Ok);
        EXPECT_EQ(item->id, c.id);
        EXPECT_EQ(item->length, c.value.size());
        EXPECT_EQ(item->type, c.type);
        EXPECT_EQ(item->padding, 0);
        EXPECT_EQ(item->value, buffer.data() + sizeof(PropertyItem));
        EXPECT_EQ(Bytes(buffer.begin() + sizeof(PropertyItem), buffer.begin() + size), c.value);
        EXPECT_EQ(Bytes(buffer.begin() + size, buffer.end()), Bytes(8, 0xEE)) << "wrote past the buffer";
    }
}

// A part of an item is the start of the whole item's value, in whole
// elements, and the record says how long it is.
TEST(Gdip, APartOfAnItemIsTheStartOfItsValueInWholeElements) {
    for (bool big : {false, true}) {
        TiffSpec spec;
        spec.bigEndian = big;
        spec.ifd0.fields = {Ascii(0x010E, "a long description"), Short(0x9214, {1, 2, 3, 4, 5}),
                            Rational(0x0002, {{35, 1}, {30, 1}, {15, 2}}), Short(0x0112, {6})};
        const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
        struct Case {
            std::uint32_t id;
            std::uint32_t room;      // bytes of value the buffer has room for
            std::uint32_t expected;  // value bytes filled
        };
        const Case cases[] = {
            {0x010E, 0, 0}, {0x010E, 5, 5}, {0x010E, 19, 19}, {0x010E, 40, 19},
            {0x9214, 1, 0}, {0x9214, 7, 6},  {0x9214, 10, 10}, {0x9214, 11, 10},
            {0x0002, 15, 8}, {0x0002, 16, 16}, {0x0002, 23, 16}, {0x0002, 24, 24},
            {0x0112, 1, 0}, {0x0112, 2, 2},
        };
        for (const Case& c : cases) {
            const std::string name = std::to_string(c.id) + " in " + std::to_string(c.room) + (big ? " (MM)" : " (II)");
            const Bytes whole = readertest::ValueOf(image, c.id);
            std::vector<std::uint8_t> buffer(sizeof(PropertyItem) + c.room + 8, 0xEE);  // 8 guard bytes
            auto* item = reinterpret_cast<PropertyItem*>(buffer.data());
            ASSERT_EQ(reader::GdipGetPropertyItemPart(&image, c.id, sizeof(PropertyItem) + c.room, item), reader::Ok)
                << name;
            EXPECT_EQ(item->id, c.id) << name;
            EXPECT_EQ(item->length, c.expected) << name;
            EXPECT_EQ(item->value, buffer.data() + sizeof(PropertyItem)) << name;
            EXPECT_EQ(Bytes(item->value, item->value + item->length), Bytes(whole.begin(), whole.begin() + c.expected))
                << name;
            EXPECT_EQ(Bytes(buffer.end() - 8, buffer.end()), Bytes(8, 0xEE)) << name << ": wrote past the buffer";
        }
        alignas(PropertyItem) std::uint8_t small[sizeof(PropertyItem) - 1] = {};
        EXPECT_EQ(reader::GdipGetPropertyItemPart(&image, 0x010E, sizeof small, reinterpret_cast<PropertyItem*>(small)),
                  reader::InvalidParameter);
    }
}

TEST(Gdip, OccurrencePicksTheNthItemWithTheSameId) {
    // A tag listed in IFD0, the Exif directory and GPS, and twice in IFD0.
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
        EXPECT_EQ(readertest::ValueOf(image, 0x0001, c.occurrence), c.value) << "occurrence " << c.occurrence;
    }
}

TEST(Gdip, TensOfThousandsOfItemsEachReadTheirOwnValue) {
    // 60,000 entries over seven tag numbers; the walk asks for every one.
    TiffSpec spec;
    for (std::uint32_t i = 0; i < 60000; ++i) {
        spec.ifd0.fields.push_back(Long(static_cast<std::uint16_t>(0x9000 + i % 7), {i}));
    }
    const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
    const std::vector<readertest::Item> items = readertest::ReadAll(image);
    ASSERT_EQ(items.size(), 60000u);
    for (std::uint32_t i = 0; i < 60000; ++i) {
        ASSERT_EQ(items[i], (readertest::Item{0x9000 + i % 7, 4, readertest::Le(i, 4)})) << "item " << i;
    }
}

TEST(Gdip, AValueThatCanNoLongerBeReadIsAnErrorAndLeavesTheBuffer) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6})};
    const Bytes tiff = BuildTiff(spec).bytes;
    readertest::SyntheticSource::Stats stats;
    const PropertyImage image = PropertyImage::Open(
        std::make_unique<readertest::SyntheticSource>(tiff.size(), tiff, 0, Bytes{}, &stats));
    ASSERT_EQ(image.items().size(), 2u);
    stats.failReads = true;  // e.g. the file was cut short after it was opened

    const std::uint32_t size = sizeof(PropertyItem) + 6;
    std::vector<std::uint8_t> buffer(size, 0);
    auto* item = reinterpret_cast<PropertyItem*>(buffer.data());
    EXPECT_EQ(reader::GdipGetPropertyItem(&image, 0x010F, size, item), reader::GenericError);
    EXPECT_EQ(buffer, Bytes(size, 0));
    // An inline value needs no read.
    EXPECT_EQ(readertest::ValueOf(image, 0x0112), (Bytes{6, 0}));
}

}  // namespace
