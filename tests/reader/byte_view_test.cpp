#include "reader/byte_view.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using reader::ByteView;

const std::vector<std::uint8_t> kBytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

TEST(ByteView, ReadsInRangeInEitherOrderAndZeroOutside) {
    struct Case {
        const char* name;
        bool bigEndian;
        int width;
        std::uint64_t offset;
        std::uint32_t expected;
        bool ok;
    };
    const Case cases[] = {
        {"u8 first", false, 1, 0, 0x01, true},
        {"u8 last", false, 1, 5, 0x06, true},
        {"u8 past end", false, 1, 6, 0, false},
        {"u16 le", false, 2, 0, 0x0201, true},
        {"u16 be", true, 2, 0, 0x0102, true},
        {"u16 le at end", false, 2, 4, 0x0605, true},
        {"u16 straddling end", false, 2, 5, 0, false},
        {"u32 le", false, 4, 1, 0x05040302, true},
        {"u32 be", true, 4, 1, 0x02030405, true},
        {"u32 be at end", true, 4, 2, 0x03040506, true},
        {"u32 straddling end", true, 4, 3, 0, false},
        {"u32 far past end", false, 4, 1000, 0, false},
        {"u32 offset that wraps", false, 4, UINT64_MAX - 1, 0, false},
    };
    for (const Case& c : cases) {
        const ByteView view(kBytes, c.bigEndian);
        std::uint32_t value = 0;
        if (c.width == 1) value = view.u8(c.offset);
        if (c.width == 2) value = view.u16(c.offset);
        if (c.width == 4) value = view.u32(c.offset);
        EXPECT_EQ(value, c.expected) << c.name;
        EXPECT_EQ(view.ok(), c.ok) << c.name;
    }
}

TEST(ByteView, BadMarkSticksAfterLaterGoodReads) {
    const ByteView view(kBytes, false);
    EXPECT_EQ(view.u16(10), 0);
    EXPECT_EQ(view.u16(0), 0x0201);
    EXPECT_FALSE(view.ok());
}

TEST(ByteView, SubViewIsEmptyWhenTheRangeDoesNotFit) {
    struct Case {
        const char* name;
        std::uint64_t offset, length;
        std::vector<std::uint8_t> expected;
        bool parentOk;
    };
    const Case cases[] = {
        {"whole", 0, 6, kBytes, true},
        {"middle", 2, 2, {0x03, 0x04}, true},
        {"empty at end", 6, 0, {}, true},
        {"one past end", 5, 2, {}, false},
        {"start past end", 7, 0, {}, false},
        {"length that wraps", 2, UINT64_MAX, {}, false},
        {"offset that wraps", UINT64_MAX, 2, {}, false},
    };
    for (const Case& c : cases) {
        const ByteView view(kBytes, true);
        const ByteView sub = view.sub(c.offset, c.length);
        EXPECT_EQ(std::vector<std::uint8_t>(sub.bytes().begin(), sub.bytes().end()), c.expected)
            << c.name;
        EXPECT_EQ(view.ok(), c.parentOk) << c.name;
        EXPECT_TRUE(sub.bigEndian()) << c.name;
    }
}

TEST(ByteView, SubViewReadsRelativeToItsStart) {
    const ByteView sub = ByteView(kBytes, true).sub(2, 3);
    EXPECT_EQ(sub.u16(1), 0x0405);
    EXPECT_EQ(sub.u16(2), 0);  // would be 0x0506 if it read its parent's bytes
    EXPECT_FALSE(sub.ok());
}

TEST(ByteView, StartsWithComparesExactBytes) {
    const std::vector<std::uint8_t> exif{'E', 'x', 'i', 'f', 0, 0, 'I', 'I'};
    const ByteView view(exif, false);
    EXPECT_TRUE(view.startsWith(std::string_view("Exif\0\0", 6)));
    EXPECT_FALSE(view.startsWith(std::string_view("Exif\0\1", 6)));
    EXPECT_FALSE(view.sub(0, 3).startsWith("Exif"));
    EXPECT_TRUE(view.ok());
}

TEST(CheckedByteCount, RejectsProductsBeyond32Bits) {
    struct Case {
        std::uint32_t count, size;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {0, 8, 0u},
        {1, 8, 8u},
        {0xFFFFFFFF, 1, 0xFFFFFFFFu},
        {0x1FFFFFFF, 8, 0xFFFFFFF8u},
        {0x20000000, 8, std::nullopt},  // wraps to 0 in 32 bits
        {0x20000001, 8, std::nullopt},  // wraps to 8
        {0x40000001, 4, std::nullopt},  // wraps to 4: would look inline
        {0x80000000, 2, std::nullopt},
        {0xFFFFFFFF, 8, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reader::CheckedByteCount(c.count, c.size), c.expected)
            << c.count << " x " << c.size;
    }
}

}  // namespace
