// The walk from a photo file to its metadata list, through the property-item
// reader, with photos built in code.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exif/extra_rows.h"
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/property_items.h"
#include "tiff_builder.h"

namespace exif {
namespace {

using namespace testsupport;
using Entries = std::vector<std::pair<std::string, std::string>>;

// The entries of the catalogue's rows; the extra rows that follow them
// (extra_rows_test.cpp) are left out.
Entries Load(std::vector<std::uint8_t> bytes, MetadataList& list) {
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::MemorySource(std::move(bytes)));
    list.LoadMetadata(&image);
    std::vector<std::string> labels, values;
    list.GetExifData(labels, values);
    EXPECT_EQ(labels.size(), values.size());
    EXPECT_EQ(labels.size(), list.EntryCount());
    Entries entries;
    bool extra = false;
    for (std::size_t i = 0; i < labels.size() && i < values.size(); ++i) {
        extra = extra || list.Entries()[i].tag >= kExtraRowTag;
        EXPECT_EQ(extra, list.Entries()[i].tag >= kExtraRowTag)
            << "a catalogue row after an extra row: " << labels[i];
        if (!extra) entries.emplace_back(labels[i], values[i]);
    }
    return entries;
}

Entries Load(std::vector<std::uint8_t> bytes) {
    MetadataList list;
    return Load(std::move(bytes), list);
}

Entries LoadIfd0(std::vector<Field> fields) {
    TiffSpec spec;
    spec.ifd0.fields = std::move(fields);
    return Load(BuildTiff(spec).bytes);
}

std::string Describe(const Entries& entries) {
    std::string text;
    for (const auto& [label, value] : entries) text += label + "=" + value + "\n";
    return text;
}

Entries CameraEntries(const TiffLayout& layout) {
    return {
        {"厂商", "Canon"},
        {"型号", "Canon EOS 5D Mark IV"},
        {"方向", "1-上/左"},
        {"水平分辨率", "72"},
        {"垂直分辨率", "72"},
        {"分辨率单位", "2-英寸"},
        {"修改时间", "2026:11:30 14:05:09"},
        {"YCbCr定位", "2-co-sited"},
        {"Exif IFD Pointer", "偏移:" + std::to_string(layout.exif)},
        {"GPS Info IFD Pointer", "偏移:" + std::to_string(layout.gps)},
        {"曝光时间", "1/125\""},
        {"光圈", "F2.8"},
        {"曝光程序", "3-光圈优先"},
        {"ISO 感光度", "400"},
        {"EXIF版本", "v2.31"},
        {"拍摄时间", "2026:11:30 14:05:09"},
        {"数字化时间", "2026:11:30 14:05:09"},
        {"TV快门速度", "7.00 TV"},
        {"AV光圈值", "2.97 AV"},
        {"曝光补偿", "-0.33EV"},
        {"最大光圈", "F2.8"},
        {"测光模式", "5-多区域测光"},
        {"光源", "0-未知"},
        {"闪光", "16-关闭（强制）"},
        {"焦距", "50mm"},
        {"用户注释", "Holiday"},
        {"Flashpix 版本", "v1"},
        {"色彩空间", "1-sRGB"},
        {"图像宽度", "6720"},
        {"图像高度", "4480"},
        {"文件来源", "3-DSC数码相机"},
        {"场景类型", "1-直接拍摄"},
        {"曝光模式", "0-自动"},
        {"白平衡", "0-自动"},
        {"场景拍摄类型", "0-标准"},
        {"GPS 纬度参考", "北纬"},
        {"GPS 纬度", "35°40.5'"},
        {"GPS 经度参考", "东经"},
        {"GPS 经度", "139°45.45'"},
        {"GPS 高度参考", "海平面"},
        {"GPS 高度", "123.4000 m"},
        {"GPS 时间戳", "8:5:7 UTC"},
        {"压缩模式", "6-JPEG压缩（缩略图）"},
        {"缩略图起始位置", "偏移:0"},
        {"缩略图数据长度", "0"},
    };
}

TEST(MetadataWalk, CameraPhotoInEveryContainerAndByteOrder) {
    for (bool bigEndian : {false, true}) {
        const TiffLayout layout = BuildTiff(CameraSpec(bigEndian));
        const Entries expected = CameraEntries(layout);
        struct Container {
            const char* name;
            std::vector<std::uint8_t> bytes;
        } containers[] = {
            {"TIFF", layout.bytes},
            {"JPEG", Jpeg(layout.bytes)},
            {"PNG", Png(layout.bytes)},
            {"WebP", WebP(layout.bytes)},
        };
        for (const Container& c : containers) {
            const Entries entries = Load(c.bytes);
            EXPECT_EQ(entries, expected)
                << c.name << (bigEndian ? " big-endian" : " little-endian") << "\n"
                << Describe(entries);
        }
    }
}

// A Unicode comment is UTF-16 in the byte order of the file it is in.
TEST(MetadataWalk, UnicodeCommentInEitherByteOrder) {
    for (const bool bigEndian : {false, true}) {
        std::string comment("UNICODE\0", 8);
        for (const char16_t c : std::u16string(u"西湖 at dusk  ")) {
            const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
            comment += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        TiffSpec spec;
        spec.bigEndian = bigEndian;
        spec.ifd0.fields = {Ascii(0x010F, "Canon")};
        spec.exif = Ifd{{UndefinedText(0x9286, comment)}, {}};
        const TiffLayout layout = BuildTiff(spec);
        const Entries expected{{"厂商", "Canon"},
                               {"Exif IFD Pointer", "偏移:" + std::to_string(layout.exif)},
                               {"用户注释", "西湖 at dusk"}};
        for (const auto& bytes : {layout.bytes, Jpeg(layout.bytes)}) {
            const Entries entries = Load(bytes);
            EXPECT_EQ(entries, expected) << (bigEndian ? "big-endian" : "little-endian") << "\n"
                                         << Describe(entries);
        }
    }
}

// Exif and GPS pointers stored as SLONG or IFD lead to their directories as
// LONG ones do; a negative SLONG leads nowhere.
TEST(MetadataWalk, PointersOfEveryType) {
    constexpr std::uint16_t kSLong = 9, kIfd = 13;
    for (const bool bigEndian : {false, true}) {
        const TiffLayout plain = BuildTiff(CameraSpec(bigEndian));
        const Entries asLong = Load(plain.bytes);
        struct Case {
            const char* name;
            std::uint16_t tag;
            std::uint16_t type;
            std::optional<std::uint32_t> value;  // kept when none
        } cases[] = {
            {"GPS pointer as SLONG", 0x8825, kSLong, {}},
            {"GPS pointer as IFD", 0x8825, kIfd, {}},
            {"Exif pointer as SLONG", 0x8769, kSLong, {}},
            {"Exif pointer as IFD", 0x8769, kIfd, {}},
            {"negative SLONG GPS pointer", 0x8825, kSLong, 0xFFFFFF00u},
        };
        for (const Case& c : cases) {
            // IFD0 ends with the Exif pointer, then the GPS pointer.
            TiffLayout layout = plain;
            const auto index = static_cast<std::uint32_t>(CameraSpec().ifd0.fields.size() +
                                                          (c.tag == 0x8825 ? 1 : 0));
            const std::uint32_t at = layout.entry(layout.ifd0, index);
            PutU16(layout.bytes, at + 2, c.type, bigEndian);
            if (c.value) PutU32(layout.bytes, at + 8, *c.value, bigEndian);
            const std::string name =
                std::string(c.name) + (bigEndian ? " (big-endian)" : " (little-endian)");
            const Entries entries = Load(Jpeg(layout.bytes));
            if (!c.value) {
                EXPECT_EQ(entries, asLong) << name << "\n" << Describe(entries);
                continue;
            }
            // Not followed: no GPS entries, and the pointer shows its signed value.
            Entries expected;
            for (const auto& [label, value] : asLong) {
                if (label == "GPS Info IFD Pointer")
                    expected.emplace_back(
                        label, "偏移:" + std::to_string(static_cast<std::int32_t>(*c.value)));
                else if (!label.starts_with("GPS ")) expected.emplace_back(label, value);
            }
            EXPECT_EQ(entries, expected) << name << "\n" << Describe(entries);
        }
    }
}

TEST(MetadataWalk, TagsOutsideTheCatalogueLeaveNoGap) {
    std::vector<std::uint8_t> makerNote(600, 0x5A);
    const Entries entries = LoadIfd0({
        Ascii(0x010F, "Canon"),
        Ascii(0x0110, "EOS"),
        Undefined(0x927C, makerNote),
        Rational(0x829A, {{1, 125}}),
        Byte(0x0000, {2, 2, 0, 0}),
    });
    const Entries expected{{"厂商", "Canon"}, {"型号", "EOS"}, {"曝光时间", "1/125\""}};
    EXPECT_EQ(entries, expected) << Describe(entries);
}

TEST(MetadataWalk, RepeatedTagsShowTheirOwnValues) {
    TiffSpec spec;
    spec.ifd0.fields = {
        Ascii(0x010F, "First"), Short(0x0112, {1}),   Ascii(0x010F, "Second"),
        Short(0x0112, {8}),     Short(0x8827, {100}),
    };
    Ifd exif;
    exif.fields = {Short(0x8827, {200}), Ascii(0x010F, "Third")};
    spec.exif = exif;
    const TiffLayout layout = BuildTiff(spec);
    const Entries entries = Load(layout.bytes);
    const Entries expected{
        {"厂商", "First"},     {"方向", "1-上/左"},
        {"厂商", "Second"},    {"方向", "8-左/下"},
        {"ISO 感光度", "100"}, {"Exif IFD Pointer", "偏移:" + std::to_string(layout.exif)},
        {"ISO 感光度", "200"}, {"厂商", "Third"},
    };
    EXPECT_EQ(entries, expected) << Describe(entries);
}

// Each entry is worded from its own item; nothing an earlier item decoded
// shows up in a later entry.
TEST(MetadataWalk, NoValueCarriesOverFromAnotherItem) {
    struct Case {
        const char* name;
        std::vector<Field> fields;
        Entries expected;
    } cases[] = {
        {"width as SHORT after a LONG",
         {Long(0x0100, {111}), Short(0xA002, {4000})},
         {{"缩略图宽度", "111"}, {"图像宽度", "4000"}}},
        {"width as SHORT before any LONG", {Short(0xA002, {4000})}, {{"图像宽度", "4000"}}},
        {"file source as UNDEFINED after a BYTE",
         {Byte(0x0005, {1}), Undefined(0xA300, {3})},
         {{"GPS 高度参考", "海平面以下"}, {"文件来源", "3-DSC数码相机"}}},
        {"SLONG height after a LONG width",
         {Long(0xA002, {6720}), SLong(0xA003, {-5})},
         {{"图像宽度", "6720"}, {"图像高度", ""}}},
        {"model as SHORT after a text",
         {Ascii(0x010F, "Canon"), Short(0x0110, {5})},
         {{"厂商", "Canon"}, {"型号", ""}}},
        {"short time stamp after a full one",
         {Rational(0x0007, {{8, 1}, {5, 1}, {7, 1}}), Rational(0x0007, {{9, 1}})},
         {{"GPS 时间戳", "8:5:7 UTC"}, {"GPS 时间戳", "9:: UTC"}}},
        {"one YCbCr value after two",
         {Short(0x0212, {2, 1}), Short(0x0212, {4})},
         {{"YCbCr采样率", "2|1"}, {"YCbCr采样率", "4|"}}},
        {"bias as DOUBLE after an SRATIONAL",
         {SRational(0x9204, {{-1, 3}}), testsupport::Double(0x9204, {0.5})},
         {{"曝光补偿", "-0.33EV"}, {"曝光补偿", ""}}},
        {"text of length 0 after a text",
         {Ascii(0x010F, "Canon"), Raw(0x0110, 2, 0, {})},
         {{"厂商", "Canon"}, {"型号", ""}}},
        {"items outside the catalogue change nothing",
         {Short(0x0102, {8, 8, 8}), Short(0x0112, {})},
         {{"方向", ""}}},
    };
    for (const Case& c : cases) {
        const Entries entries = LoadIfd0(c.fields);
        EXPECT_EQ(entries, c.expected) << c.name << "\n" << Describe(entries);
    }
}

// A source that fails every read once the items have been listed, as a file
// cut short or a device gone between opening and reading would.
class FailingSource : public reader::ByteSource {
public:
    FailingSource(std::vector<std::uint8_t> bytes, std::shared_ptr<bool> failing)
        : bytes_(std::move(bytes)), failing_(std::move(failing)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (*failing_ || offset > bytes_.size() || out.size() > bytes_.size() - offset)
            return false;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::shared_ptr<bool> failing_;
};

TEST(MetadataWalk, AnUnreadableItemKeepsItsLabel) {
    TiffSpec spec;
    spec.ifd0.fields = {
        Ascii(0x010F, "Canon EOS"),    // out of line: read when fetched
        Short(0x0112, {6}),            // inline: already in memory
        Rational(0x829A, {{1, 125}}),  // out of line
    };
    auto failing = std::make_shared<bool>(false);
    const reader::PropertyImage image = reader::PropertyImage::Open(
        std::make_unique<FailingSource>(BuildTiff(spec).bytes, failing));
    ASSERT_EQ(image.items().size(), 3u);
    *failing = true;
    MetadataList list;
    list.LoadMetadata(&image);
    const Entries expected{{"厂商", ""}, {"方向", "6-右/上"}, {"曝光时间", ""}};
    Entries entries;
    for (const MetadataEntry& e : list.Entries())
        if (e.tag < kExtraRowTag) entries.emplace_back(e.label, e.value);
    EXPECT_EQ(entries, expected) << Describe(entries);
}

// More catalogue items than a 16-bit counter holds, spread over two
// directories; each shows its own value.
TEST(MetadataWalk, TensOfThousandsOfItems) {
    constexpr std::uint32_t kIfd0Items = 40000;
    constexpr std::uint32_t kExifItems = 30000;
    TiffSpec spec;
    for (std::uint32_t k = 0; k < kIfd0Items; ++k)
        spec.ifd0.fields.push_back(Short(0x8827, {static_cast<std::uint16_t>(k)}));
    Ifd exif;
    for (std::uint32_t k = 0; k < kExifItems; ++k)
        exif.fields.push_back(Long(0xA002, {100000 + k}));
    spec.exif = exif;
    const TiffLayout layout = BuildTiff(spec);

    MetadataList list;
    const Entries entries = Load(layout.bytes, list);
    ASSERT_EQ(entries.size(), kIfd0Items + 1 + kExifItems);
    for (std::uint32_t k = 0; k < kIfd0Items; ++k) {
        ASSERT_EQ(entries[k].first, "ISO 感光度") << k;
        ASSERT_EQ(entries[k].second, std::to_string(k)) << k;
    }
    EXPECT_EQ(entries[kIfd0Items].first, "Exif IFD Pointer");
    for (std::uint32_t k = 0; k < kExifItems; ++k) {
        const auto& entry = entries[kIfd0Items + 1 + k];
        ASSERT_EQ(entry.first, "图像宽度") << k;
        ASSERT_EQ(entry.second, std::to_string(100000 + k)) << k;
    }
    EXPECT_EQ(list.Entries().size(), list.EntryCount());
}

TEST(MetadataWalk, PhotosWithoutCatalogueItems) {
    // A photo still has its size; what is not a photo has nothing.
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool photo;
    } cases[] = {
        {"BMP", Bmp(), true},
        {"GIF", Gif(), true},
        {"JPEG without Exif", Jpeg({}), true},
        {"unknown bytes", {'h', 'e', 'l', 'l', 'o'}, false},
        {"empty file", {}, false},
        {"only tags outside the catalogue",
         BuildTiff(
             TiffSpec{false, Ifd{{Short(0x0102, {8}), Byte(0x0000, {2})}, {}}, {}, {}, {}, {}, {}})
             .bytes,
         true},
    };
    for (const Case& c : cases) {
        MetadataList list;
        EXPECT_TRUE(Load(c.bytes, list).empty()) << c.name;
        EXPECT_EQ(list.EntryCount(), c.photo ? 1u : 0u) << c.name;
        if (c.photo && list.EntryCount() == 1) {
            EXPECT_EQ(list.Entries()[0].label, "文件大小") << c.name;
        }
    }
}

TEST(MetadataWalk, ASecondPhotoReplacesTheFirst) {
    MetadataList list;
    ASSERT_GT(Load(Jpeg(BuildTiff(CameraSpec()).bytes), list).size(), 40u);
    TiffSpec small;
    small.ifd0.fields = {Ascii(0x010F, "Nikon")};
    const Entries second = Load(BuildTiff(small).bytes, list);
    EXPECT_EQ(second, (Entries{{"厂商", "Nikon"}}));
    EXPECT_EQ(list.Entries().size(), 2u);  // and its size
    EXPECT_TRUE(Load(Bmp(), list).empty());
    EXPECT_EQ(list.EntryCount(), 1u);
}

TEST(MetadataWalk, ReportOfALoadedPhoto) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon"), Rational(0x829D, {{28, 10}}), Short(0x0112, {9}),
                        UndefinedText(0x010E, "line one\nline two")};
    MetadataList list;
    list.SetPhoto("/照片/猫.jpg");
    const std::vector<std::uint8_t> photo = Jpeg(BuildTiff(spec).bytes);
    Load(photo, list);
    const std::string size = FileSizeText(photo.size());

    std::vector<std::string> labels, values;
    list.GetExifData(labels, values);
    EXPECT_EQ(labels, (std::vector<std::string>{"厂商", "光圈", "方向", "图像标题", "文件大小"}));
    EXPECT_EQ(values, (std::vector<std::string>{"Canon", "F2.8", "", "line one\nline two", size}));

    const std::string expected =
        "图像：猫.jpg\r\n路径：/照片/猫.jpg\r\n" + std::string(50, '-') +
        "\r\n厂商Canon\r\n光圈F2.8\r\n方向\r\n图像标题line one line two\r\n文件大小" + size +
        "\r\n";
    EXPECT_EQ(BuildReport(list), expected);
    EXPECT_EQ(BuildReport(list.PhotoName(), list.PhotoFile(), labels, values), expected);
}

}  // namespace
}  // namespace exif
