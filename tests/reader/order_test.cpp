// Which directories are listed, in which order, under which numbers.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

using namespace testsupport;
using readertest::Ids;
using readertest::OpenBytes;
using readertest::ValueOf;
using Ids_t = std::vector<std::uint32_t>;

// The camera block, directory by directory, as the reader must list it.
const Ids_t kCameraIfd0{0x010F, 0x0110, 0x0112, 0x011A, 0x011B,
                        0x0128, 0x0132, 0x0213, 0x8769, 0x8825};
const Ids_t kCameraExif{0x829A, 0x829D, 0x8822, 0x8827, 0x9000, 0x9003, 0x9004, 0x9201, 0x9202,
                        0x9204, 0x9205, 0x9207, 0x9208, 0x9209, 0x920A, 0x927C, 0x9286, 0xA000,
                        0xA001, 0xA002, 0xA003, 0xA300, 0xA301, 0xA402, 0xA403, 0xA406, 0xA005};
const Ids_t kCameraGps{0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007};
const Ids_t kCameraIfd1{0x5023, 0x502D, 0x502E, 0x5030, 0x0201, 0x0202};

Ids_t Join(std::initializer_list<Ids_t> parts) {
    Ids_t out;
    for (const Ids_t& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Swaps two 12-byte entries of a directory in place.
void SwapEntries(std::vector<std::uint8_t>& bytes, const TiffLayout& layout, std::uint32_t ifd,
                 std::uint32_t a, std::uint32_t b) {
    std::swap_ranges(bytes.begin() + layout.entry(ifd, a),
                     bytes.begin() + layout.entry(ifd, a) + 12,
                     bytes.begin() + layout.entry(ifd, b));
}

TEST(Order, DirectoriesAreListedIfd0ThenPointerOrderThenThumbnail) {
    for (bool big : {false, true}) {
        TiffLayout plain = BuildTiff(CameraSpec(big));
        TiffLayout gpsFirst = plain;
        // IFD0's last two entries are the Exif and GPS pointers; GPS first now.
        SwapEntries(gpsFirst.bytes, gpsFirst, gpsFirst.ifd0, 8, 9);
        TiffSpec noGps = CameraSpec(big);
        noGps.gps.reset();
        TiffSpec noExif = CameraSpec(big);
        noExif.exif.reset();
        TiffSpec noThumbnail = CameraSpec(big);
        noThumbnail.ifd1.reset();

        struct Case {
            const char* name;
            std::vector<std::uint8_t> bytes;
            Ids_t expected;
        };
        const Case cases[] = {
            {"camera", plain.bytes, Join({kCameraIfd0, kCameraExif, kCameraGps, kCameraIfd1})},
            {"GPS pointer before Exif pointer", gpsFirst.bytes,
             Join({{0x010F, 0x0110, 0x0112, 0x011A, 0x011B, 0x0128, 0x0132, 0x0213, 0x8825, 0x8769},
                   kCameraGps,
                   kCameraExif,
                   kCameraIfd1})},
            {"no GPS", BuildTiff(noGps).bytes,
             Join({{0x010F, 0x0110, 0x0112, 0x011A, 0x011B, 0x0128, 0x0132, 0x0213, 0x8769},
                   kCameraExif,
                   kCameraIfd1})},
            {"no Exif", BuildTiff(noExif).bytes,
             Join({{0x010F, 0x0110, 0x0112, 0x011A, 0x011B, 0x0128, 0x0132, 0x0213, 0x8825},
                   kCameraGps,
                   kCameraIfd1})},
            {"no thumbnail", BuildTiff(noThumbnail).bytes,
             Join({kCameraIfd0, kCameraExif, kCameraGps})},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(Ids(OpenBytes(c.bytes)), c.expected)
                << c.name << (big ? " (big-endian)" : "");
        }
    }
}

TEST(Order, PointerEntriesAreItemsHoldingTheOffset) {
    const TiffLayout layout = BuildTiff(CameraSpec(true));
    const reader::PropertyImage image = OpenBytes(layout.bytes);
    struct Case {
        std::uint32_t id;
        std::uint32_t offset;
    };
    const Case cases[] = {{0x8769, layout.exif}, {0x8825, layout.gps}, {0xA005, layout.interop}};
    for (const Case& c : cases) {
        EXPECT_EQ(ValueOf(image, c.id), readertest::Le(c.offset, 4)) << std::hex << c.id;
    }
}

TEST(Order, ThumbnailTagsTakeTheirOwnNumbers) {
    struct Case {
        std::uint16_t tag;
        std::optional<std::uint32_t> id;  // none: not listed
    };
    const Case cases[] = {
        {0x0100, 0x5020},       {0x0101, 0x5021},       {0x0102, 0x5022},
        {0x0103, 0x5023},       {0x0106, 0x5024},       {0x010E, 0x5025},
        {0x010F, 0x5026},       {0x0110, 0x5027},       {0x0111, 0x5028},
        {0x0112, 0x5029},       {0x0115, 0x502A},       {0x0116, 0x502B},
        {0x0117, 0x502C},       {0x011A, 0x502D},       {0x011B, 0x502E},
        {0x011C, 0x502F},       {0x0128, 0x5030},       {0x012D, 0x5031},
        {0x0131, 0x5032},       {0x0132, 0x5033},       {0x013B, 0x5034},
        {0x013E, 0x5035},       {0x013F, 0x5036},       {0x0211, 0x5037},
        {0x0212, 0x5038},       {0x0213, 0x5039},       {0x0214, 0x503A},
        {0x8298, 0x503B},       {0x0201, 0x0201},       {0x0202, 0x0202},
        {0x0000, std::nullopt}, {0x0001, std::nullopt}, {0x0107, std::nullopt},
        {0x0200, std::nullopt}, {0x0203, std::nullopt}, {0x5020, std::nullopt},
        {0x8769, std::nullopt}, {0x8825, std::nullopt}, {0x927C, std::nullopt},
        {0xFFFF, std::nullopt},
    };
    for (bool big : {false, true}) {
        for (const Case& c : cases) {
            TiffSpec spec;
            spec.bigEndian = big;
            spec.ifd0.fields = {Short(0x0112, {1})};
            Ifd ifd1;
            ifd1.fields = {Short(c.tag, {0x1234})};
            spec.ifd1 = ifd1;
            const reader::PropertyImage image = OpenBytes(BuildTiff(spec).bytes);
            Ids_t expected{0x0112};
            if (c.id) expected.push_back(*c.id);
            EXPECT_EQ(Ids(image), expected) << "tag 0x" << std::hex << c.tag;
            if (c.id) {
                EXPECT_EQ(ValueOf(image, *c.id), readertest::Le(0x1234, 2))
                    << "tag 0x" << std::hex << c.tag;
            }
        }
    }
}

TEST(Order, InteroperabilityEntriesAreNotListed) {
    // Their tags 0x0001 and 0x0002 would read as GPS latitude tags.
    TiffSpec spec = CameraSpec(false);
    spec.gps.reset();
    const Ids_t ids = Ids(OpenBytes(BuildTiff(spec).bytes));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x0001u), 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x0002u), 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0xA005u), 1);
}

TEST(Order, MakerNoteIsOneItemEvenWhenItLooksLikeADirectory) {
    // A maker note laid out as a TIFF block with its own entries.
    TiffSpec inner;
    inner.ifd0.fields = {Short(0x0001, {7}), Ascii(0x0002, "inner directory")};
    const std::vector<std::uint8_t> makerNote = BuildTiff(inner).bytes;
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Maker")};
    Ifd exif;
    exif.fields = {Undefined(0x927C, makerNote), Short(0xA001, {1})};
    spec.exif = exif;
    const reader::PropertyImage image = OpenBytes(BuildTiff(spec).bytes);
    EXPECT_EQ(Ids(image), (Ids_t{0x010F, 0x8769, 0x927C, 0xA001}));
    EXPECT_EQ(ValueOf(image, 0x927C), makerNote);
    EXPECT_EQ(image.items()[2].type, reader::PropertyTypeUndefined);
}

TEST(Order, OnlyIfd0PointersOfLongSLongOrIfdTypeAreFollowed) {
    struct Case {
        const char* name;
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        bool followed;
    };
    const Case cases[] = {
        {"Exif LONG", 0x8769, reader::PropertyTypeLong, 1, true},
        {"Exif IFD", 0x8769, reader::PropertyTypeIfd, 1, true},
        {"GPS LONG", 0x8825, reader::PropertyTypeLong, 1, true},
        {"GPS IFD", 0x8825, reader::PropertyTypeIfd, 1, true},
        {"Exif SHORT", 0x8769, reader::PropertyTypeShort, 1, false},
        {"Exif SLONG", 0x8769, reader::PropertyTypeSLong, 1, true},
        {"GPS SLONG", 0x8825, reader::PropertyTypeSLong, 1, true},
        {"Exif UNDEFINED", 0x8769, reader::PropertyTypeUndefined, 4, false},
        {"Exif LONG count 0", 0x8769, reader::PropertyTypeLong, 0, false},
        {"SubIFDs", 0x014A, reader::PropertyTypeLong, 1, false},
        {"interoperability in IFD0", 0xA005, reader::PropertyTypeLong, 1, false},
    };
    for (bool big : {false, true}) {
        for (const Case& c : cases) {
            // IFD0 holds the pointer; the sub-directory follows it in the block.
            TiffSpec spec;
            spec.bigEndian = big;
            spec.ifd0.fields = {Short(0x0112, {1}), Raw(c.tag, c.type, c.count, {})};
            spec.ifd0.fields[1].offsetOverride = 0;  // patched below
            spec.trailer.resize(64);
            TiffLayout layout = BuildTiff(spec);
            const std::uint32_t sub = layout.trailer;
            PutU16(layout.bytes, sub, 1, big);
            PutU16(layout.bytes, sub + 2, 0x9003, big);
            PutU16(layout.bytes, sub + 4, reader::PropertyTypeShort, big);
            PutU32(layout.bytes, sub + 6, 1, big);
            PutU16(layout.bytes, sub + 10, 99, big);
            PutU32(layout.bytes, layout.entry(layout.ifd0, 1) + 8, sub, big);
            const Ids_t ids = Ids(OpenBytes(layout.bytes));
            const Ids_t expected = c.followed ? Ids_t{0x0112, c.tag, 0x9003} : Ids_t{0x0112, c.tag};
            EXPECT_EQ(ids, expected) << c.name << (big ? " (big-endian)" : "");
        }
    }
}

TEST(Order, PointersOutsideIfd0AndDirectoriesAfterIfd1AreNotFollowed) {
    TiffSpec spec;
    spec.ifd0.fields = {Short(0x0112, {1})};
    Ifd exif;
    exif.fields = {Short(0xA001, {1})};
    spec.exif = exif;
    Ifd ifd1;
    ifd1.fields = {Short(0x0103, {6})};
    spec.ifd1 = ifd1;
    spec.trailer.resize(32);
    TiffLayout layout = BuildTiff(spec);
    // A directory in the trailer, which the Exif directory's GPS pointer and
    // IFD1's next-directory offset point at.
    const std::uint32_t extra = layout.trailer;
    PutU16(layout.bytes, extra, 1, false);
    PutU16(layout.bytes, extra + 2, 0x0001, false);
    PutU16(layout.bytes, extra + 4, reader::PropertyTypeShort, false);
    PutU32(layout.bytes, extra + 6, 1, false);
    // The Exif directory's own entry becomes a GPS pointer.
    PutU16(layout.bytes, layout.entry(layout.exif, 0), 0x8825, false);
    PutU16(layout.bytes, layout.entry(layout.exif, 0) + 2, reader::PropertyTypeLong, false);
    PutU32(layout.bytes, layout.entry(layout.exif, 0) + 8, extra, false);
    PutU32(layout.bytes, layout.entry(layout.ifd1, 1), extra, false);  // IFD1's next
    EXPECT_EQ(Ids(OpenBytes(layout.bytes)), (Ids_t{0x0112, 0x8769, 0x8825, 0x5023}));
}

TEST(Order, OnlyTheFirstPointerOfEachKindIsFollowed) {
    TiffSpec spec;
    spec.ifd0.fields = {Short(0x0112, {1})};
    Ifd exif;
    exif.fields = {Short(0xA001, {1})};
    spec.exif = exif;
    Ifd gps;
    gps.fields = {Byte(0x0000, {2, 2, 0, 0})};
    spec.gps = gps;
    TiffLayout layout = BuildTiff(spec);
    // The first entry becomes a second Exif pointer, to the GPS directory.
    const std::uint32_t first = layout.entry(layout.ifd0, 0);
    PutU16(layout.bytes, first, 0x8769, false);
    PutU16(layout.bytes, first + 2, reader::PropertyTypeLong, false);
    PutU32(layout.bytes, first + 8, layout.gps, false);
    // The GPS directory is read once, as the first Exif pointer's target.
    EXPECT_EQ(Ids(OpenBytes(layout.bytes)), (Ids_t{0x8769, 0x8769, 0x8825, 0x0000}));
}

}  // namespace
