// The four Gdip operations: statuses, the item record, duplicates.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace testsupport;
using platform::GpStatus;
using platform::PropertyImage;
using platform::PropertyItem;
using Bytes = std::vector<std::uint8_t>;

PropertyImage SmallImage() {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6})};
    return readertest::OpenBytes(BuildTiff(spec).bytes);
}

TEST(Gdip, CountAndIdList) {
    const PropertyImage image = SmallImage();
    std::uint32_t count = 0;
    EXPECT_EQ(platform::GdipGetPropertyCount(&image, &count), platform::Ok);
    EXPECT_EQ(count, 2u);
    std::uint32_t ids[2] = {};
    EXPECT_EQ(platform::GdipGetPropertyIdList(&image, 2, ids), platform::Ok);
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
        {"count, no image", platform::GdipGetPropertyCount(nullptr, &value), platform::InvalidParameter},
        {"count, no output", platform::GdipGetPropertyCount(&image, nullptr), platform::InvalidParameter},
        {"ids, no image", platform::GdipGetPropertyIdList(nullptr, 2, ids), platform::InvalidParameter},
        {"ids, too few", platform::GdipGetPropertyIdList(&image, 1, ids), platform::InvalidParameter},
        {"ids, too many", platform::GdipGetPropertyIdList(&image, 3, ids), platform::InvalidParameter},
        {"ids, no list", platform::GdipGetPropertyIdList(&image, 2, nullptr), platform::InvalidParameter},
        {"ids, none of none", platform::GdipGetPropertyIdList(&empty, 0, nullptr), platform::Ok},
        {"size, no image", platform::GdipGetPropertyItemSize(nullptr, 0x010F, &value), platform::InvalidParameter},
        {"size, no output", platform::GdipGetPropertyItemSize(&image, 0x010F, nullptr), platform::InvalidParameter},
        {"size, unknown id", platform::GdipGetPropertyItemSize(&image, 0x0110, &value), platform::PropertyNotFound},
        {"size, second of one", platform::GdipGetPropertyItemSize(&image, 0x010F, &value, 1),
         platform::PropertyNotFound},
        {"size, id above 16 bits", platform::GdipGetPropertyItemSize(&image, 0x1010F, &value),
         platform::PropertyNotFound},
        {"item, no image", platform::GdipGetPropertyItem(nullptr, 0x010F, makeSize, item), platform::InvalidParameter},
        {"item, no buffer", platform::GdipGetPropertyItem(&image, 0x010F, makeSize, nullptr),
         platform::InvalidParameter},
        {"item, size one short", platform::GdipGetPropertyItem(&image, 0x010F, makeSize - 1, item),
         platform::InvalidParameter},
        {"item, size one over", platform::GdipGetPropertyItem(&image, 0x010F, makeSize + 1, item),
         platform::InvalidParameter},
        {"item, unknown id", platform::GdipGetPropertyItem(&image, 0x0110, makeSize, item), platform::PropertyNotFound},
        {"item, second of one", platform::GdipGetPropertyItem(&image, 0x010F, makeSize, item, 1),
         platform::PropertyNotFound},
        {"item, first", platform::GdipGetPropertyItem(&image, 0x010F, makeSize, item), platform::Ok},
    };
    for (const Case& c : cases) EXPECT_EQ(c.status, c.expected) << c.name;
}

TEST(Gdip, ItemBufferHoldsTheRecordAndThenTheValue) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6}), Raw(0x0201, platform::PropertyTypeLong, 0, {})};
    const PropertyImage image = readertest::OpenBytes(BuildTiff(spec).bytes);
    struct Case {
        std::uint32_t id;
        std::uint16_t type;
        Bytes value;
    };
    const Case cases[] = {{0x010F, 2, {'C', 'a', 'n', 'o', 'n', 0}}, {0x0112, 3, {6, 0}}, {0x0201, 4, {}}};
    for (const Case& c : cases) {
        std::uint32_t size = 0;
        ASSERT_EQ(platform::GdipGetPropertyItemSize(&image, c.id, &size), platform::Ok);
        EXPECT_EQ(size, sizeof(PropertyItem) + c.value.size());
        std::vector<std::uint8_t> buffer(size + 8, 0xEE);  // 8 guard bytes
        auto* item = reinterpret_cast<PropertyItem*>(buffer.data());
        ASSERT_EQ(platform::GdipGetPropertyItem(&image, c.id, size, item), platform::Ok);
        EXPECT_EQ(item->id, c.id);
        EXPECT_EQ(item->length, c.value.size());
        EXPECT_EQ(item->type, c.type);
        EXPECT_EQ(item->padding, 0);
        EXPECT_EQ(item->value, buffer.data() + sizeof(PropertyItem));
        EXPECT_EQ(Bytes(buffer.begin() + sizeof(PropertyItem), buffer.begin() + size), c.value);
        EXPECT_EQ(Bytes(buffer.begin() + size, buffer.end()), Bytes(8, 0xEE)) << "wrote past the buffer";
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
    EXPECT_EQ(platform::GdipGetPropertyItem(&image, 0x010F, size, item), platform::GenericError);
    EXPECT_EQ(buffer, Bytes(size, 0));
    // An inline value needs no read.
    EXPECT_EQ(readertest::ValueOf(image, 0x0112), (Bytes{6, 0}));
}

}  // namespace
