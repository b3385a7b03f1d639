// ISO base media files (HEIF, AVIF, CR3) crafted to break the reader: every
// box size, item location and extent is checked, so these give no items, or
// the items that are really there, and never read outside the file.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace testsupport;
using reader::PhotoFormat;
using Bytes = std::vector<std::uint8_t>;

// Where the box of this type begins (its size field); the n-th one.
std::size_t BoxAt(const Bytes& bytes, const std::string& type, int nth = 0) {
    for (std::size_t i = 4; i + 4 <= bytes.size(); ++i) {
        if (std::equal(type.begin(), type.end(), bytes.begin() + static_cast<long>(i)) &&
            nth-- == 0)
            return i - 4;
    }
    ADD_FAILURE() << "no box " << type;
    return 0;
}

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    PutU32(bytes, static_cast<std::uint32_t>(at), value, true);
}
void Put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    PutU16(bytes, static_cast<std::uint32_t>(at), value, true);
}

// The item location box of a version-1 file, written by Heif(): 4-byte
// offsets and lengths, no base offsets or indexes. Its payload begins with
// version and flags, the two size bytes and the item count; the image item's
// entry takes 16 bytes, then the Exif item's: id, construction method, data
// reference, extent count, offset, length.
struct Iloc {
    std::size_t payload;
    std::size_t exifEntry() const { return payload + 8 + 16; }
    std::size_t method() const { return exifEntry() + 2; }
    std::size_t dataReference() const { return exifEntry() + 4; }
    std::size_t extentCount() const { return exifEntry() + 6; }
    std::size_t offset() const { return exifEntry() + 8; }
    std::size_t length() const { return exifEntry() + 12; }
};

TEST(Bmff, CraftedFilesGiveOnlyWhatIsReallyThere) {
    const Bytes tiff = BuildTiff(CameraSpec()).bytes;
    HeifOptions v1;
    v1.ilocVersion = 1;
    const Bytes good = Heif(tiff, v1);
    const Iloc iloc{BoxAt(good, "iloc") + 8};
    const std::size_t exifInfe = BoxAt(good, "infe", 1) + 8;  // its payload
    const std::size_t meta = BoxAt(good, "meta");
    const std::size_t mdat = BoxAt(good, "mdat");
    const std::uint32_t size = static_cast<std::uint32_t>(good.size());
    struct Case {
        const char* name;
        std::function<void(Bytes&)> craft;
        PhotoFormat format;
        bool hasItems;
    };
    const Case cases[] = {
        {"intact", [](Bytes&) {}, PhotoFormat::Heif, true},
        {"ftyp larger than the file", [](Bytes& b) { Put32(b, 0, 0x10000); }, PhotoFormat::Unknown,
         false},
        {"ftyp smaller than its brands", [](Bytes& b) { Put32(b, 0, 12); }, PhotoFormat::Unknown,
         false},
        {"ftyp of size 0 (to the end)", [](Bytes& b) { Put32(b, 0, 0); }, PhotoFormat::Heif, false},
        {"meta of size 0 (to the end)", [&](Bytes& b) { Put32(b, meta, 0); }, PhotoFormat::Heif,
         true},
        {"meta larger than the file", [&](Bytes& b) { Put32(b, meta, size); }, PhotoFormat::Heif,
         false},
        {"meta smaller than its header", [&](Bytes& b) { Put32(b, meta, 7); }, PhotoFormat::Heif,
         false},
        {"meta with a 64-bit size past the end",
         [&](Bytes& b) {
             Put32(b, meta, 1);
             b.insert(b.begin() + static_cast<long>(meta) + 8,
                      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0});
         },
         PhotoFormat::Heif, false},
        {"mdat larger than the file", [&](Bytes& b) { Put32(b, mdat, 0xFFFFFFFF); },
         PhotoFormat::Heif, true},
        {"iloc version 3", [&](Bytes& b) { b[iloc.payload] = 3; }, PhotoFormat::Heif, false},
        {"iloc offset size 3", [&](Bytes& b) { b[iloc.payload + 4] = 0x34; }, PhotoFormat::Heif,
         false},
        {"iloc length size 0", [&](Bytes& b) { b[iloc.payload + 4] = 0x40; }, PhotoFormat::Heif,
         false},
        {"iloc claiming 65535 items", [&](Bytes& b) { Put16(b, iloc.payload + 6, 0xFFFF); },
         PhotoFormat::Heif, true},
        {"Exif extent count past the box", [&](Bytes& b) { Put16(b, iloc.extentCount(), 0xFFFF); },
         PhotoFormat::Heif, false},
        {"Exif extent offset past the file", [&](Bytes& b) { Put32(b, iloc.offset(), size); },
         PhotoFormat::Heif, false},
        {"Exif extent offset wrapping", [&](Bytes& b) { Put32(b, iloc.offset(), 0xFFFFFFF0); },
         PhotoFormat::Heif, false},
        {"Exif extent of length 0", [&](Bytes& b) { Put32(b, iloc.length(), 0); },
         PhotoFormat::Heif, false},
        {"Exif extent running past the file, as when cut short",
         [&](Bytes& b) { Put32(b, iloc.length(), 0xFFFFFFFF); }, PhotoFormat::Heif, true},
        {"Exif item in another file", [&](Bytes& b) { Put16(b, iloc.dataReference(), 1); },
         PhotoFormat::Heif, false},
        {"Exif item made of other items", [&](Bytes& b) { Put16(b, iloc.method(), 2); },
         PhotoFormat::Heif, false},
        {"Exif item in idat, without one", [&](Bytes& b) { Put16(b, iloc.method(), 1); },
         PhotoFormat::Heif, false},
        {"Exif item without location", [&](Bytes& b) { Put16(b, iloc.exifEntry(), 7); },
         PhotoFormat::Heif, false},
        {"Exif item protected", [&](Bytes& b) { Put16(b, exifInfe + 6, 1); }, PhotoFormat::Heif,
         false},
        {"item information of version 1", [&](Bytes& b) { b[exifInfe] = 1; }, PhotoFormat::Heif,
         false},
        {"item information claiming 65535 entries",
         [&](Bytes& b) { Put16(b, BoxAt(good, "iinf") + 12, 0xFFFF); }, PhotoFormat::Heif, true},
        {"Exif item offset field to nothing",
         [&](Bytes& b) {
             const std::size_t item =
                 BoxAt(good, "mdat") + 8 + 32 + 3;  // after the image and the junk
             Put32(b, item, 1);
             b[item + 4] = 'X';  // no "Exif\0\0" to fall back on
         },
         PhotoFormat::Heif, false},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        c.craft(bytes);
        const reader::PropertyImage image = readertest::OpenBytes(bytes);
        EXPECT_EQ(image.format(), c.format) << c.name;
        if (c.hasItems) {
            EXPECT_EQ(readertest::ReadAll(image), readertest::ReadAll(readertest::OpenBytes(tiff)))
                << c.name;
        } else {
            EXPECT_TRUE(image.items().empty()) << c.name;
        }
    }
}

// Pieces that point at the same bytes over and over would put together more
// than the file holds.
TEST(Bmff, PiecesAddingUpToMoreThanTheFileAreNotPutTogether) {
    const Bytes tiff = BuildTiff(CameraSpec()).bytes;
    HeifOptions three;
    three.pieces = 3;
    const Bytes good = Heif(tiff, three);
    const std::size_t exifEntry =
        BoxAt(good, "iloc") + 8 + 8 + 14;  // version 0: 14-byte image entry
    const std::size_t firstExtent = exifEntry + 6;
    struct Case {
        const char* name;
        std::uint32_t length;  // of each piece, all at the file's start
        bool hasItems;
    };
    const std::uint32_t size = static_cast<std::uint32_t>(good.size());
    const Case cases[] = {{"pieces as they are", 0, true},
                          {"three times half the file", size / 2, false},
                          {"three times the whole file", size, false}};
    for (const Case& c : cases) {
        Bytes bytes = good;
        for (std::size_t k = 0; c.length != 0 && k < 3; ++k) {
            Put32(bytes, firstExtent + 8 * k, 0);
            Put32(bytes, firstExtent + 8 * k + 4, c.length);
        }
        EXPECT_EQ(readertest::OpenBytes(bytes).items().empty(), !c.hasItems) << c.name;
    }
}

// A HEIC whose meta box follows 1 GiB of image data: a page at the start and
// one where the meta box lies are read, with the Exif item in its idat.
TEST(Bmff, MetaAfterAHugeMdatIsReadWhereItLies) {
    constexpr std::uint64_t kSize = std::uint64_t{1} << 30;
    HeifOptions options;
    options.ilocVersion = 1;
    options.inIdat = true;
    options.metaAfterMdat = true;
    const Bytes tiff = BuildTiff(CameraSpec(true)).bytes;
    const Bytes small = Heif(tiff, options);
    const std::size_t mdat = BoxAt(small, "mdat");
    const std::size_t meta = BoxAt(small, "meta");
    Bytes head(small.begin(), small.begin() + static_cast<long>(meta));
    const Bytes tail(small.begin() + static_cast<long>(meta), small.end());
    const std::uint64_t tailAt = kSize - tail.size();
    Put32(head, mdat, static_cast<std::uint32_t>(tailAt - mdat));
    readertest::SyntheticSource::Stats stats;
    const reader::PropertyImage image = reader::PropertyImage::Open(
        std::make_unique<readertest::SyntheticSource>(kSize, head, tailAt, tail, &stats));
    EXPECT_EQ(image.format(), PhotoFormat::Heif);
    EXPECT_EQ(readertest::ReadAll(image), readertest::ReadAll(readertest::OpenBytes(tiff)));
    EXPECT_LT(stats.reads, 8u);
    EXPECT_LT(stats.bytesRead, 4 * 4096 + 2 * tail.size());
}

// CR3 keeps IFD0, the Exif and the GPS directory in TIFF blocks of their
// own; they are listed in that order, each item as the same directory of a
// TIFF lists it. The maker notes in CMT3 are not listed.
TEST(Bmff, Cr3ListsIfd0ExifAndGpsAsATiffWould) {
    for (bool big : {false, true}) {
        TiffSpec camera = CameraSpec(big);
        camera.ifd1.reset();
        camera.interop.reset();
        TiffSpec noGps = camera;
        noGps.gps.reset();
        TiffSpec selfPointer = camera;  // an Exif pointer in CMT1, to CMT1's own IFD0
        selfPointer.ifd0.fields.push_back(Long(0x8769, {8}));
        struct Case {
            const char* name;
            TiffSpec spec;
            std::size_t pointerItems;  // listed by CR3 but not by the TIFF below
        };
        const Case cases[] = {
            {"camera", camera, 0}, {"no GPS", noGps, 0}, {"Exif pointer in CMT1", selfPointer, 1}};
        for (const Case& c : cases) {
            const std::string name = std::string(c.name) + (big ? " (big-endian)" : "");
            // The TIFF's own pointer entries are not in a CR3's blocks.
            std::vector<readertest::Item> expected;
            TiffSpec plain = c.spec;
            if (c.pointerItems) plain.ifd0.fields.pop_back();
            for (const readertest::Item& item :
                 readertest::ReadAll(readertest::OpenBytes(BuildTiff(plain).bytes))) {
                if (item.id != 0x8769 && item.id != 0x8825) expected.push_back(item);
            }
            const reader::PropertyImage image = readertest::OpenBytes(Cr3(c.spec));
            EXPECT_EQ(image.format(), PhotoFormat::Cr3) << name;
            std::vector<readertest::Item> items = readertest::ReadAll(image);
            ASSERT_EQ(items.size(), expected.size() + c.pointerItems) << name;
            if (c.pointerItems) {
                EXPECT_EQ(items[c.spec.ifd0.fields.size() - 1].id, 0x8769u) << name;
                items.erase(items.begin() + static_cast<long>(c.spec.ifd0.fields.size()) - 1);
            }
            EXPECT_EQ(items, expected) << name;
        }
    }
}

}  // namespace
