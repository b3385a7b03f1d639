// What the metadata walk reads: only the values of the tags it shows, and no
// more of one value than 1 MiB, however much the file claims.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "exif/metadata_list.h"
#include "exif/text_decode.h"
#include "reader/property_items.h"
#include "reader_test_support.h"
#include "tiff_builder.h"

namespace exif {
namespace {

using namespace testsupport;
using readertest::PatternSource;
using readertest::SyntheticSource;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kMiB = 1u << 20;
constexpr std::uint32_t kValueAt = 4096;
const std::string kCutMark = "…";

// A TIFF whose IFD0 holds `fields` with out-of-line values at kValueAt (set
// their offsetOverride), followed by `lead` at kValueAt and then `unit` over
// and over up to `size` bytes.
struct Photo {
    std::vector<Field> fields;
    Bytes lead;
    Bytes unit;
    std::uint64_t size;
};

struct Loaded {
    std::vector<MetadataEntry> entries;
    SyntheticSource::Stats stats;  // of opening and walking
};

Loaded Load(const Photo& photo) {
    TiffSpec spec;
    spec.ifd0.fields = photo.fields;
    Bytes head = BuildTiff(spec).bytes;
    EXPECT_LE(head.size(), kValueAt);
    head.resize(kValueAt);
    head.insert(head.end(), photo.lead.begin(), photo.lead.end());
    Loaded loaded;
    const reader::PropertyImage image = reader::PropertyImage::Open(
        std::make_unique<PatternSource>(photo.size, head, photo.unit, &loaded.stats));
    MetadataList list;
    list.LoadMetadata(&image);
    // The catalogue's rows; the extra ones (the file's size) are not what is measured.
    for (const MetadataEntry& entry : list.Entries())
        if (entry.tag < kExtraRowTag) loaded.entries.push_back(entry);
    return loaded;
}

Field At(Field field) {
    field.offsetOverride = kValueAt;
    return field;
}

std::string Repeat(const std::string& unit, std::size_t times) {
    std::string out;
    out.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Texts longer than 1 MiB are cut there, after the last whole character,
// and marked; a text of 1 MiB is whole. Only that much of the file is read.
TEST(MetadataCost, ALongTextIsCutAt1MiBAndMarked) {
    constexpr std::uint64_t kHuge = std::uint64_t{1} << 31;  // 2 GiB claimed
    const std::string han = "中";                            // three bytes in UTF-8
    struct Case {
        const char* name;
        std::uint32_t count;  // of the ASCII value
        std::string lead;     // the value's first bytes, before the repeated unit
        std::string unit;
        std::string expected;
    };
    const Case cases[] = {
        {"1 MiB of letters", kMiB, "", "A", Repeat("A", kMiB)},
        {"1 MiB and a byte", kMiB + 1, "", "A", Repeat("A", kMiB) + kCutMark},
        {"2 GiB of letters", static_cast<std::uint32_t>(kHuge - 1), "", "A",
         Repeat("A", kMiB) + kCutMark},
        // 1 MiB is one more than a multiple of three.
        {"cut after a whole character", static_cast<std::uint32_t>(kHuge - 1), "a", han,
         "a" + Repeat(han, (kMiB - 1) / 3) + kCutMark},
        {"cut one byte into a character", static_cast<std::uint32_t>(kHuge - 1), "", han,
         Repeat(han, kMiB / 3) + kCutMark},
        {"cut two bytes into a character", static_cast<std::uint32_t>(kHuge - 1), "ab", han,
         "ab" + Repeat(han, (kMiB - 2) / 3) + kCutMark},
    };
    for (const Case& c : cases) {
        const Loaded loaded =
            Load({{Ascii(0x010F, "Canon"), At(Raw(0x010E, reader::PropertyTypeAscii, c.count, {}))},
                  Of(c.lead),
                  Of(c.unit),
                  kHuge + 2 * kValueAt});
        ASSERT_EQ(loaded.entries.size(), 2u) << c.name;
        EXPECT_EQ(loaded.entries[0].value, "Canon") << c.name;
        const std::string& value = loaded.entries[1].value;
        EXPECT_TRUE(IsValidUtf8(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()))
            << c.name;
        EXPECT_EQ(value.size(), c.expected.size()) << c.name;
        EXPECT_TRUE(value == c.expected) << c.name;  // not printed: a megabyte
        EXPECT_LE(loaded.stats.bytesRead, kMiB + 4 * kValueAt) << c.name;
    }
}

// Values of tags the list does not show are never read; long number lists
// are read only as far as the 1 MiB, and worded as their first elements
// alone would be, without a mark.
TEST(MetadataCost, OnlyShownValuesAreReadAndNoMoreThan1MiBOfEach) {
    constexpr std::uint64_t k512MiB = std::uint64_t{512} << 20;
    constexpr std::uint32_t kLongest =
        (k512MiB - 2 * kValueAt) / 8;  // in elements of up to 8 bytes
    struct Case {
        const char* name;
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t shortCount;  // elements the rule reads; 0: the tag is not shown
        Bytes unit;
    };
    const Case cases[] = {
        {"unknown tag of 512 MiB", 0xC4A5, reader::PropertyTypeUndefined, 0, Bytes{'x'}},
        {"subject area of 512 MiB", 0x9214, reader::PropertyTypeShort, 4,
         Bytes{1, 0, 2, 0, 3, 0, 4, 0}},
        {"latitude of 512 MiB", 0x0002, reader::PropertyTypeRational, 3,
         Bytes{35, 0, 0, 0, 1, 0, 0, 0, 30, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const Loaded whole =
            Load({{Ascii(0x010F, "Canon"), At(Raw(c.tag, c.type, c.shortCount, {}))},
                  {},
                  c.unit,
                  2 * kValueAt + 64});
        const Loaded huge = Load(
            {{Ascii(0x010F, "Canon"), At(Raw(c.tag, c.type, kLongest, {}))}, {}, c.unit, k512MiB});
        ASSERT_EQ(huge.entries.size(), c.shortCount == 0 ? 1u : 2u) << c.name;
        ASSERT_EQ(whole.entries.size(), huge.entries.size()) << c.name;
        for (std::size_t i = 0; i < huge.entries.size(); ++i) {
            EXPECT_EQ(huge.entries[i].label, whole.entries[i].label) << c.name;
            EXPECT_EQ(huge.entries[i].value, whole.entries[i].value) << c.name;
        }
        EXPECT_FALSE(huge.entries.back().value.empty()) << c.name;
        EXPECT_LE(huge.stats.bytesRead, (c.shortCount == 0 ? 0 : kMiB) + 4 * kValueAt) << c.name;
    }
}

}  // namespace
}  // namespace exif
