// Broken and crafted blocks: no crash, no loop, no huge allocation, and only
// items that are really in the file.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace testsupport;
using readertest::Ids;
using readertest::Item;
using readertest::OpenBytes;
using readertest::ReadAll;
using Bytes = std::vector<std::uint8_t>;
using IdList = std::vector<std::uint32_t>;

std::vector<std::pair<std::string, Bytes>> CameraFiles(bool big) {
    TiffSpec spec = CameraSpec(big);
    spec.trailer = Bytes(200, 0xAB);  // a thumbnail
    TiffLayout layout = BuildTiff(spec);
    PutU32(layout.bytes, layout.entry(layout.ifd1, 4) + 8, layout.trailer, big);
    PutU32(layout.bytes, layout.entry(layout.ifd1, 5) + 8, 200, big);
    JpegOptions options;
    options.before = {{0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}}};
    HeifOptions pieces;
    pieces.pieces = 2;
    TiffSpec cr3 = CameraSpec(big);
    cr3.ifd1.reset();
    return {{"tiff", layout.bytes},
            {"jpeg", Jpeg(layout.bytes, options)},
            {"png", Png(layout.bytes, true)},
            {"png, raw profile", PngRawProfile(layout.bytes)},
            {"webp", WebP(layout.bytes, true)},
            {"heic", Heif(layout.bytes)},
            {"heic, Exif item in two pieces", Heif(layout.bytes, pieces)},
            {"cr3", Cr3(cr3)},
            {"raf", Raf(Jpeg(layout.bytes, options))},
            {"orf", WithHeader(layout.bytes, big ? "MMOR" : "IIRO")}};
}

TEST(Hostile, EveryTruncationGivesASubsetOfTheItemsWithTheirOwnValues) {
    for (bool big : {false, true}) {
        for (const auto& [name, bytes] : CameraFiles(big)) {
            const std::vector<Item> full = ReadAll(OpenBytes(bytes));
            ASSERT_GT(full.size(), 40u) << name;
            std::size_t previous = 0;
            for (std::size_t length = 0; length < bytes.size(); ++length) {
                const std::vector<Item> items =
                    ReadAll(OpenBytes(Bytes(bytes.begin(), bytes.begin() + length)));
                ASSERT_TRUE(readertest::IsSubsequence(items, full))
                    << name << (big ? " (big-endian)" : "") << " cut at " << length;
                previous = std::max(previous, items.size());
            }
            // Cut just before the end (the trailer or the container's tail),
            // nearly every item is still there; but an item in pieces whose
            // first piece is stored last is whole or nothing.
            if (name != "heic, Exif item in two pieces") {
                EXPECT_GE(previous, full.size() - 2) << name;
            }
        }
    }
}

// A small block with every directory, for crafting.
struct Small {
    TiffLayout layout;
    explicit Small(bool big = false) {
        TiffSpec spec;
        spec.bigEndian = big;
        spec.ifd0.fields = {Short(0x0112, {1})};
        Ifd exif;
        exif.fields = {Short(0xA001, {1})};
        spec.exif = exif;
        Ifd gps;
        gps.fields = {Byte(0x0000, {2, 2, 0, 0})};
        spec.gps = gps;
        Ifd ifd1;
        ifd1.fields = {Short(0x0103, {6})};
        spec.ifd1 = ifd1;
        layout = BuildTiff(spec);
    }
    // IFD0 entries: 0 orientation, 1 Exif pointer, 2 GPS pointer; then the next offset.
    std::uint32_t exifPointer() const { return layout.entry(layout.ifd0, 1) + 8; }
    std::uint32_t gpsPointer() const { return layout.entry(layout.ifd0, 2) + 8; }
    std::uint32_t nextPointer() const { return layout.entry(layout.ifd0, 3); }
};

TEST(Hostile, DirectoryLoopsAreReadOnce) {
    struct Case {
        const char* name;
        std::function<void(Small&)> craft;
        IdList expected;
    };
    const Case cases[] = {
        {"intact", [](Small&) {}, {0x0112, 0x8769, 0x8825, 0xA001, 0x0000, 0x5023}},
        {"Exif pointer to IFD0",
         [](Small& s) { PutU32(s.layout.bytes, s.exifPointer(), s.layout.ifd0, false); },
         {0x0112, 0x8769, 0x8825, 0x0000, 0x5023}},
        {"GPS pointer to the Exif directory",
         [](Small& s) { PutU32(s.layout.bytes, s.gpsPointer(), s.layout.exif, false); },
         {0x0112, 0x8769, 0x8825, 0xA001, 0x5023}},
        {"Exif pointer to the GPS directory",
         [](Small& s) { PutU32(s.layout.bytes, s.exifPointer(), s.layout.gps, false); },
         {0x0112, 0x8769, 0x8825, 0x0000, 0x5023}},
        {"IFD1 is IFD0",
         [](Small& s) { PutU32(s.layout.bytes, s.nextPointer(), s.layout.ifd0, false); },
         {0x0112, 0x8769, 0x8825, 0xA001, 0x0000}},
        {"IFD1 is the Exif directory",
         [](Small& s) { PutU32(s.layout.bytes, s.nextPointer(), s.layout.exif, false); },
         {0x0112, 0x8769, 0x8825, 0xA001, 0x0000}},
        {"IFD1 points back to IFD0",
         [](Small& s) {
             PutU32(s.layout.bytes, s.layout.entry(s.layout.ifd1, 1), s.layout.ifd0, false);
         },
         {0x0112, 0x8769, 0x8825, 0xA001, 0x0000, 0x5023}},
    };
    for (const Case& c : cases) {
        Small small;
        c.craft(small);
        EXPECT_EQ(Ids(OpenBytes(small.layout.bytes)), c.expected) << c.name;
    }
}

TEST(Hostile, ValuesAndDirectoriesOutsideTheBlockAreNotListed) {
    struct Case {
        const char* name;
        std::function<void(Small&)> craft;
        IdList expected;
    };
    // A 6-byte value at `offset` in the orientation entry.
    const auto sixBytesAt = [](std::uint32_t offset) {
        return [offset](Small& s) {
            const std::uint32_t entry = s.layout.entry(s.layout.ifd0, 0);
            PutU16(s.layout.bytes, entry + 2, reader::PropertyTypeUndefined, false);
            PutU32(s.layout.bytes, entry + 4, 6, false);
            PutU32(s.layout.bytes, entry + 8,
                   offset == 0 ? static_cast<std::uint32_t>(s.layout.bytes.size()) - 6 : offset,
                   false);
        };
    };
    const IdList withoutOrientation{0x8769, 0x8825, 0xA001, 0x0000, 0x5023};
    const IdList all{0x0112, 0x8769, 0x8825, 0xA001, 0x0000, 0x5023};
    const Case cases[] = {
        {"value ending at the block's end", sixBytesAt(0), all},
        {"value straddling the end",
         [&](Small& s) { sixBytesAt(static_cast<std::uint32_t>(s.layout.bytes.size()) - 5)(s); },
         withoutOrientation},
        {"value starting at the end",
         [&](Small& s) { sixBytesAt(static_cast<std::uint32_t>(s.layout.bytes.size()))(s); },
         withoutOrientation},
        {"value offset that wraps 32 bits", sixBytesAt(0xFFFFFFFE), withoutOrientation},
        {"value offset that wraps to 0", sixBytesAt(0xFFFFFFFA), withoutOrientation},
        {"Exif directory past the end",
         [](Small& s) { PutU32(s.layout.bytes, s.exifPointer(), 0x00100000, false); },
         {0x0112, 0x8769, 0x8825, 0x0000, 0x5023}},
        {"Exif directory on the last byte",
         [](Small& s) {
             PutU32(s.layout.bytes, s.exifPointer(),
                    static_cast<std::uint32_t>(s.layout.bytes.size()) - 1, false);
         },
         {0x0112, 0x8769, 0x8825, 0x0000, 0x5023}},
        {"IFD1 past the end",
         [](Small& s) { PutU32(s.layout.bytes, s.nextPointer(), 0xFFFFFFFF, false); },
         {0x0112, 0x8769, 0x8825, 0xA001, 0x0000}},
        {"IFD0 past the end", [](Small& s) { PutU32(s.layout.bytes, 4, 0xFFFFFFF0, false); }, {}},
        {"IFD0 at offset 0 (none)", [](Small& s) { PutU32(s.layout.bytes, 4, 0, false); }, {}},
        {"block too short for a header", [](Small& s) { s.layout.bytes.resize(7); }, {}},
        {"bad magic", [](Small& s) { s.layout.bytes[2] = 43; }, {}},
    };
    for (const Case& c : cases) {
        Small small;
        c.craft(small);
        EXPECT_EQ(Ids(OpenBytes(small.layout.bytes)), c.expected) << c.name;
    }
}

TEST(Hostile, ADirectoryThatDoesNotFitGivesTheEntriesThatDo) {
    for (bool big : {false, true}) {
        TiffSpec spec;
        spec.bigEndian = big;
        spec.ifd0.fields = {Short(0x0100, {1}), Short(0x0101, {2}), Short(0x0102, {3})};
        TiffLayout layout = BuildTiff(spec);
        PutU16(layout.bytes, layout.ifd0, 10, big);  // claims ten entries
        struct Case {
            std::size_t cut;  // bytes kept
            IdList expected;
        };
        const Case cases[] = {
            {layout.entry(layout.ifd0, 3), {0x0100, 0x0101, 0x0102}},
            {layout.entry(layout.ifd0, 3) - 1, {0x0100, 0x0101}},
            {layout.entry(layout.ifd0, 1), {0x0100}},
            {layout.entry(layout.ifd0, 0), {}},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(Ids(OpenBytes(Bytes(layout.bytes.begin(), layout.bytes.begin() + c.cut))),
                      c.expected)
                << c.cut << " bytes" << (big ? " (big-endian)" : "");
        }
    }
}

TEST(Hostile, CountsWhoseByteLengthOverflows32BitsAreNotListed) {
    struct Case {
        const char* name;
        std::uint16_t type;
        std::uint32_t count;
    };
    const Case cases[] = {
        {"RATIONAL wrapping to 0 bytes", reader::PropertyTypeRational, 0x20000000},
        {"RATIONAL wrapping to 8 bytes", reader::PropertyTypeRational, 0x20000001},
        {"LONG wrapping to 4 bytes", reader::PropertyTypeLong, 0x40000001},
        {"SHORT wrapping to 4 bytes", reader::PropertyTypeShort, 0x80000002},
        {"DOUBLE wrapping to 8 bytes", reader::PropertyTypeDouble, 0x20000001},
        {"ASCII of 4 GB", reader::PropertyTypeAscii, 0xFFFFFFFF},
        {"UNDEFINED of almost 4 GB", reader::PropertyTypeUndefined, 0xFFFFFFF0},
    };
    for (bool big : {false, true}) {
        for (const Case& c : cases) {
            TiffSpec spec;
            spec.bigEndian = big;
            spec.ifd0.fields = {Short(0x0100, {1}), Raw(0x0101, c.type, c.count, {}),
                                Short(0x0102, {3})};
            spec.ifd0.fields[1].offsetOverride = 8;
            EXPECT_EQ(Ids(OpenBytes(BuildTiff(spec).bytes)), (IdList{0x0100, 0x0102}))
                << c.name << (big ? " (big-endian)" : "");
        }
    }
}

// In a file of more than 4 GB a value of almost 4 GB fits; reading its start
// reads only that.
TEST(Hostile, AValueOfAlmostFourGigabytesIsListedAndReadOnlyWhereAskedFor) {
    Bytes head{'I', 'I', 42, 0, 8, 0, 0, 0};
    PutU16(head, 8, 1, false);
    PutU16(head, 10, 0x9286, false);
    PutU16(head, 12, reader::PropertyTypeUndefined, false);
    PutU32(head, 14, UINT32_MAX, false);
    PutU32(head, 18, 64, false);
    PutU32(head, 22, 0, false);
    readertest::SyntheticSource::Stats stats;
    const reader::PropertyImage image =
        reader::PropertyImage::Open(std::make_unique<readertest::SyntheticSource>(
            std::uint64_t{5} << 30, head, 0, Bytes{}, &stats));
    ASSERT_EQ(Ids(image), IdList{0x9286});
    EXPECT_EQ(image.items()[0].length, UINT32_MAX);
    const std::uint64_t before = stats.bytesRead;
    Bytes start;
    ASSERT_TRUE(image.readValue(image.items()[0], start, 4096));
    EXPECT_EQ(start.size(), 4096u);
    EXPECT_LE(stats.bytesRead - before, 4096u);
}

TEST(Hostile, AFullDirectoryOf65535EntriesIsListed) {
    for (bool big : {false, true}) {
        TiffSpec spec;
        spec.bigEndian = big;
        for (std::uint32_t i = 0; i < 65535; ++i) {
            spec.ifd0.fields.push_back(
                Short(static_cast<std::uint16_t>(i), {static_cast<std::uint16_t>(i ^ 0x5A5A)}));
        }
        const reader::PropertyImage image = OpenBytes(BuildTiff(spec).bytes);
        ASSERT_EQ(image.items().size(), 65535u);
        for (std::uint32_t id : {0u, 1u, 40000u, 65534u}) {
            EXPECT_EQ(readertest::ValueOf(image, id), readertest::Le(id ^ 0x5A5A, 2)) << id;
        }
    }
}

// IFD0 of `entries` LONG entries; the Exif pointer in entry 1 points 12 bytes
// into IFD0, where entry 0's value reads as a count of entries - 1. Without
// a budget the overlapping directory lists IFD0's entries a second time.
Bytes OverlappingDirectories(std::uint16_t entries) {
    Bytes block{'I', 'I', 42, 0, 8, 0, 0, 0};
    PutU16(block, 8, entries, false);
    for (std::uint16_t i = 0; i < entries; ++i) {
        const std::uint32_t at = 10 + 12u * i;
        PutU16(block, at, static_cast<std::uint16_t>(i == 1 ? 0x8769 : 0x9000 + i), false);
        PutU16(block, at + 2, reader::PropertyTypeLong, false);
        PutU32(block, at + 4, 1, false);
        PutU32(block, at + 8, i == 0 ? std::uint32_t{entries - 1u} << 16 : i == 1 ? 20 : i, false);
    }
    PutU32(block, 10 + 12u * entries, 0, false);
    return block;
}

TEST(Hostile, EntryBudgetStopsOverlappingDirectories) {
    for (std::uint16_t entries : {50, 1000, 20000}) {
        const Bytes block = OverlappingDirectories(entries);
        const reader::PropertyImage image = OpenBytes(block);
        const IdList ids = Ids(image);
        EXPECT_GE(ids.size(), entries) << entries;                 // IFD0 itself
        EXPECT_LE(ids.size(), block.size() / 12 + 16) << entries;  // but not twice
    }
}

TEST(Hostile, ValueBudgetStopsEntriesSharingOneLargeValue) {
    // Many entries naming the same 4,000-byte value.
    TiffSpec spec;
    for (int i = 0; i < 500; ++i) {
        spec.ifd0.fields.push_back(Raw(0x9286, reader::PropertyTypeUndefined, 4000, {}));
        spec.ifd0.fields.back().offsetOverride = 0;  // patched below
    }
    spec.trailer = Bytes(4000, 'x');
    TiffLayout layout = BuildTiff(spec);
    for (std::uint32_t i = 0; i < 500; ++i)
        PutU32(layout.bytes, layout.entry(layout.ifd0, i) + 8, layout.trailer, false);
    const reader::PropertyImage image = OpenBytes(layout.bytes);
    std::uint64_t listed = 0;
    for (const auto& item : image.items()) listed += item.length;
    EXPECT_GE(image.items().size(), 1u);
    EXPECT_LE(listed, layout.bytes.size());
    EXPECT_EQ(readertest::ValueOf(image, 0x9286), Bytes(4000, 'x'));
}

// Photos of 1 GiB whose metadata lies at the start or the end: opening them
// reads a page at the start and one where the metadata lies, and the values
// come from where they lie.
TEST(Hostile, HugeFilesAreReadOnlyWhereTheMetadataLies) {
    constexpr std::uint64_t kSize = std::uint64_t{1} << 30;
    struct Case {
        const char* name;
        Bytes head;
        std::uint64_t tailOffset;
        Bytes tail;
        reader::PhotoFormat format;
        IdList expected;
        Bytes lastValue;  // of the last expected item
    };
    TiffSpec small;
    small.ifd0.fields = {Ascii(0x010F, "Canon"), Short(0x0112, {6})};
    const Bytes tiff = BuildTiff(small).bytes;

    // A TIFF whose IFD0 sits near the end, behind 1 GiB of image data, with a
    // value claiming most of the file.
    Bytes tiffHead{'I', 'I', 42, 0};
    const std::uint32_t ifd0 = static_cast<std::uint32_t>(kSize - 64);
    PutU32(tiffHead, 4, ifd0, false);
    Bytes tiffTail;
    PutU16(tiffTail, 0, 2, false);
    PutU16(tiffTail, 2, 0x02BC, false);  // XMP of ~1 GiB
    PutU16(tiffTail, 4, reader::PropertyTypeByte, false);
    PutU32(tiffTail, 6, static_cast<std::uint32_t>(kSize - 100), false);
    PutU32(tiffTail, 10, 16, false);
    PutU16(tiffTail, 14, 0x0112, false);
    PutU16(tiffTail, 16, reader::PropertyTypeShort, false);
    PutU32(tiffTail, 18, 1, false);
    PutU16(tiffTail, 22, 3, false);
    PutU32(tiffTail, 26, 0, false);

    // A PNG whose eXIf chunk follows an IDAT chunk of almost 1 GiB.
    Bytes pngHead = Png({}, true);
    pngHead.resize(pngHead.size() - 12);  // drop IEND
    const std::uint64_t idatData = pngHead.size() + 8;
    const std::uint32_t idatLength = static_cast<std::uint32_t>(kSize - 4096 - idatData);
    pngHead.insert(pngHead.end(), {static_cast<std::uint8_t>(idatLength >> 24),
                                   static_cast<std::uint8_t>(idatLength >> 16),
                                   static_cast<std::uint8_t>(idatLength >> 8),
                                   static_cast<std::uint8_t>(idatLength), 'I', 'D', 'A', 'T'});
    const std::uint64_t pngTailOffset = idatData + idatLength + 4;
    Bytes pngTail{static_cast<std::uint8_t>(tiff.size() >> 24),
                  static_cast<std::uint8_t>(tiff.size() >> 16),
                  static_cast<std::uint8_t>(tiff.size() >> 8),
                  static_cast<std::uint8_t>(tiff.size()),
                  'e',
                  'X',
                  'I',
                  'f'};
    pngTail.insert(pngTail.end(), tiff.begin(), tiff.end());

    // A WebP whose EXIF chunk follows a VP8 chunk of almost 1 GiB.
    Bytes webpHead{'R', 'I', 'F', 'F'};
    PutU32(webpHead, 4, static_cast<std::uint32_t>(kSize - 8), false);
    webpHead.insert(webpHead.end(), {'W', 'E', 'B', 'P', 'V', 'P', '8', ' '});
    const std::uint32_t vp8Length = static_cast<std::uint32_t>(kSize - 4096 - 20);
    PutU32(webpHead, 16, vp8Length, false);
    Bytes webpTail{'E', 'X', 'I', 'F'};
    PutU32(webpTail, 4, static_cast<std::uint32_t>(tiff.size()), false);
    webpTail.insert(webpTail.end(), tiff.begin(), tiff.end());

    const Case cases[] = {
        {"tiff", tiffHead, ifd0, tiffTail, reader::PhotoFormat::Tiff, {0x02BC, 0x0112}, {3, 0}},
        {"jpeg", Jpeg(tiff, {}), 0, {}, reader::PhotoFormat::Jpeg, {0x010F, 0x0112}, {6, 0}},
        {"png",
         pngHead,
         pngTailOffset,
         pngTail,
         reader::PhotoFormat::Png,
         {0x010F, 0x0112},
         {6, 0}},
        {"webp",
         webpHead,
         20 + vp8Length,
         webpTail,
         reader::PhotoFormat::WebP,
         {0x010F, 0x0112},
         {6, 0}},
    };
    for (const Case& c : cases) {
        readertest::SyntheticSource::Stats stats;
        const reader::PropertyImage image =
            reader::PropertyImage::Open(std::make_unique<readertest::SyntheticSource>(
                kSize, c.head, c.tailOffset, c.tail, &stats));
        EXPECT_EQ(image.format(), c.format) << c.name;
        EXPECT_EQ(Ids(image), c.expected) << c.name;
        EXPECT_LT(stats.bytesRead, 3 * 4096u) << c.name;
        EXPECT_LT(stats.reads, 8u) << c.name;
        EXPECT_EQ(readertest::ValueOf(image, c.expected.back()), c.lastValue) << c.name;
    }
}

TEST(Hostile, AContainersExifBlockIsReadOnceAndValuesComeFromMemory) {
    for (bool big : {false, true}) {
        for (const auto& [name, bytes] : CameraFiles(big)) {
            if (name == "tiff" || name == "orf")
                continue;  // a TIFF file is read where its directories lie
            readertest::SyntheticSource::Stats stats;
            const reader::PropertyImage image =
                reader::PropertyImage::Open(std::make_unique<readertest::SyntheticSource>(
                    bytes.size(), bytes, 0, Bytes{}, &stats));
            const std::uint64_t readsToOpen = stats.reads;
            EXPECT_EQ(ReadAll(image), ReadAll(OpenBytes(bytes))) << name;
            EXPECT_EQ(stats.reads, readsToOpen) << name << ": values were read again";
        }
    }
}

}  // namespace
