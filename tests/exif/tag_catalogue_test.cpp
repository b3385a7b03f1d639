#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "exif/decode_slots.h"
#include "exif/metadata_list.h"
#include "exif/tag_catalogue.h"
#include "exif/text_decode.h"
#include "tiff_builder.h"

namespace exif {
namespace {

using namespace testsupport;

struct RuleCase {
    const char* name;
    Field item;  // its tag picks the rule
    std::string expected;
};

void ExpectValues(const RuleCase* begin, const RuleCase* end) {
    for (const RuleCase* c = begin; c != end; ++c) {
        MetadataEntry entry;
        ASSERT_TRUE(FormatItem(c->item.tag, DecodeSlots(c->item.type, c->item.le), entry))
            << c->name;
        EXPECT_FALSE(entry.label.empty()) << c->name;
        EXPECT_EQ(entry.value, c->expected) << c->name;
    }
}

TEST(TagCatalogue, HoldsSeventyFiveTagsInOrder) {
    const auto catalogue = Catalogue();
    ASSERT_EQ(catalogue.size(), 75u);
    std::set<std::string_view> labels;
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const CatalogueEntry& row = catalogue[i];
        EXPECT_FALSE(row.label.empty()) << row.tag;
        EXPECT_TRUE(
            IsValidUtf8(reinterpret_cast<const std::uint8_t*>(row.label.data()), row.label.size()))
            << row.tag;
        EXPECT_TRUE(labels.insert(row.label).second) << "label used twice: " << row.label;
        EXPECT_NE(row.pieces[0].kind, PieceKind::End) << row.tag;
        if (i > 0) {
            EXPECT_LT(catalogue[i - 1].tag, row.tag);
        }
        EXPECT_EQ(FindTag(row.tag), &row);
    }
}

TEST(TagCatalogue, TagsOutsideWriteNothing) {
    for (std::uint32_t tag : {0x0000u, 0x927Cu, 0x0102u, 0x0111u, 0xA005u, 0x5020u, 0x502Du,
                              0xFFFFu, 0x10112u, 0xFFFFFFFFu}) {
        MetadataEntry entry{"kept", "kept"};
        EXPECT_FALSE(FormatItem(tag, DecodeSlots(3, std::vector<std::uint8_t>{1, 0}), entry))
            << tag;
        EXPECT_EQ(entry.label, "kept") << tag;
        EXPECT_EQ(entry.value, "kept") << tag;
    }
}

// A tag in the catalogue always gives an entry: with an item of a type that
// no rule reads (or no item value at all), the label with an empty value.
TEST(TagCatalogue, EveryTagGivesItsLabelEvenWithoutAValue) {
    const std::vector<std::uint8_t> bytes{1, 0, 0, 0, 1, 0, 0, 0};
    for (const CatalogueEntry& row : Catalogue()) {
        for (std::uint32_t type : {0u, 6u, 8u, 9u, 11u, 12u, 13u, 0x10003u}) {
            // Pointers are read from SLONG and IFD too (see TypePairings).
            if (row.reads == Slot::Offset && (type == 9 || type == 13)) continue;
            MetadataEntry entry{"old", "old"};
            ASSERT_TRUE(FormatItem(row.tag, DecodeSlots(type, bytes), entry)) << row.tag;
            EXPECT_EQ(entry.label, row.label) << row.tag;
            EXPECT_EQ(entry.value, "") << row.tag << " type " << type;
        }
    }
}

TEST(TagCatalogue, DocumentedExamples) {
    const RuleCase cases[] = {
        {"exposure 1/125", Rational(0x829A, {{1, 125}}), "1/125\""},
        {"exposure not reduced", Rational(0x829A, {{10, 1250}}), "10/1250\""},
        {"aperture", Rational(0x829D, {{28, 10}}), "F2.8"},
        {"focal length whole", Rational(0x920A, {{50, 1}}), "50mm"},
        {"focal length decimal", Rational(0x920A, {{1850, 100}}), "18.5mm"},
        {"digital zoom", Rational(0xA404, {{100, 100}}), "1x"},
        {"35 mm equivalent", Short(0xA405, {28}), "28mm"},
        {"shutter speed value", SRational(0x9201, {{7, 1}}), "7.00 TV"},
        {"exposure bias minus a third", SRational(0x9204, {{-1, 3}}), "-0.33EV"},
        {"exposure bias zero", SRational(0x9204, {{0, 1}}), "0.00EV"},
        {"aperture value", Rational(0x9202, {{297, 100}}), "2.97 AV"},
        {"brightness", SRational(0x9203, {{-2, 10}}), "-0.20 BV"},
        {"latitude with seconds", Rational(0x0002, {{35, 1}, {40, 1}, {30, 1}}), "35°40.5'"},
        {"latitude decimal minutes", Rational(0x0002, {{22, 1}, {3045, 100}, {0, 1}}), "22°30.45'"},
        {"longitude", Rational(0x0004, {{139, 1}, {4545, 100}, {0, 1}}), "139°45.45'"},
        {"latitude degrees with a denominator", Rational(0x0002, {{350, 10}, {40, 1}, {0, 1}}),
         "35°40'"},
        {"latitude in decimal degrees", Rational(0x0002, {{3123040, 100000}, {0, 1}, {0, 1}}),
         "31.2304°0'"},
        {"longitude degrees over zero", Rational(0x0004, {{121, 0}, {28, 1}, {0, 1}}), "121/0°28'"},
        {"altitude", Rational(0x0006, {{1234, 10}}), "123.4000 m"},
        {"image direction", Rational(0x0011, {{18000, 100}}), "180.0000"},
        {"time stamp", Rational(0x0007, {{8, 1}, {5, 1}, {7, 1}}), "8:5:7 UTC"},
        {"time stamp fractional seconds", Rational(0x0007, {{8, 1}, {5, 1}, {715, 100}}),
         "8:5:7.15 UTC"},
        {"time stamp hours and minutes with denominators",
         Rational(0x0007, {{800, 100}, {50, 10}, {7, 1}}), "8:5:7 UTC"},
        {"x resolution", Rational(0x011A, {{72, 1}}), "72"},
        {"y resolution", Rational(0x011B, {{300, 1}}), "300"},
        {"focal-plane resolution", Rational(0xA20E, {{4000, 1}}), "4000.000"},
        {"focal-plane y resolution", Rational(0xA20F, {{10, 3}}), "3.333"},
        {"ISO", Short(0x8827, {100}), "100"},
        {"subject area", Short(0x9214, {1000, 750, 200, 150}),
         "矩形:中心点(X=1000,Y=750）,宽=200,高=150"},
        {"YCbCr sub-sampling", Short(0x0212, {2, 1}), "2|1"},
        {"EXIF version 0230", UndefinedText(0x9000, "0230"), "v2.3"},
        {"EXIF version 0220", UndefinedText(0x9000, "0220"), "v2.2"},
        {"EXIF version 0231", UndefinedText(0x9000, "0231"), "v2.31"},
        {"Flashpix version 0100", UndefinedText(0xA000, "0100"), "v1"},
        {"Exif pointer", Long(0x8769, {2036}), "偏移:2036"},
        {"GPS pointer", Long(0x8825, {900}), "偏移:900"},
        {"thumbnail offset", Long(0x0201, {5000}), "偏移:5000"},
        {"thumbnail length", Long(0x0202, {8000}), "8000"},
        {"orientation 9 unknown", Short(0x0112, {9}), ""},
        {"orientation 6", Short(0x0112, {6}), "6-右/上"},
        {"maximum aperture", Rational(0x9205, {{3, 1}}), "F2.8"},
        {"subject distance", Rational(0x9206, {{125, 100}}), "1.25 m"},
        {"make", Ascii(0x010F, "Canon"), "Canon"},
        {"model", Ascii(0x0110, "Canon EOS 5D Mark IV"), "Canon EOS 5D Mark IV"},
        {"user comment with its code", UndefinedText(0x9286, std::string("ASCII\0\0\0Holiday", 15)),
         "Holiday"},
        {"sub-second time", Ascii(0x9291, "07"), "07"},
        {"make in GBK bytes", Raw(0x010F, 2, 5, {0xBC, 0xD1, 0xC4, 0xDC, 0}), "佳能"},
        {"latitude ref N", Ascii(0x0001, "N"), "北纬"},
        {"latitude ref S", Ascii(0x0001, "S"), "南纬"},
        {"latitude ref n", Ascii(0x0001, "n"), "南纬"},
        {"longitude ref E", Ascii(0x0003, "E"), "东经"},
        {"longitude ref W", Ascii(0x0003, "W"), "西经"},
        {"direction ref T", Ascii(0x0010, "T"), "真方向"},
        {"direction ref M", Ascii(0x0010, "M"), "磁方位"},
        {"altitude ref 0", Byte(0x0005, {0}), "海平面"},
        {"altitude ref 1", Byte(0x0005, {1}), "海平面以下"},
        {"compression", Short(0x0103, {6}), "6-JPEG压缩（缩略图）"},
        {"thumbnail compression number", Short(0x5023, {6}), "6-JPEG压缩（缩略图）"},
        {"photometric RGB", Short(0x0106, {2}), "RGB"},
        {"photometric black is zero", Short(0x0106, {1}), "单色"},
        {"photometric palette", Short(0x0106, {3}), ""},
        {"photometric YCbCr", Short(0x0106, {6}), "YCbCr"},
        {"flash", Short(0x9209, {16}), "16-关闭（强制）"},
        {"light source", Short(0x9208, {13}), "13-日白色荧光灯(N4600-5400K"},
        {"scene type", Undefined(0xA301, {1}), "1-直接拍摄"},
        {"CFA pattern first byte", Undefined(0xA302, {2, 0, 2, 0, 0, 1, 1, 2}), "2"},
        {"focal-plane unit", Short(0xA210, {3}), "3-厘米"},
        {"sensing method", Short(0xA217, {2}), "2-一个芯片颜色区域传感器"},
        {"custom rendered", Short(0xA401, {1}), "1-自定义"},
        {"exposure mode", Short(0xA402, {2}), "2-Auto bracket"},
        {"white balance", Short(0xA403, {1}), "1-手动"},
        {"scene capture", Short(0xA406, {3}), "3-夜景"},
        {"gain control", Short(0xA407, {4}), "4-高增益下"},
        {"contrast", Short(0xA408, {1}), "1-弱"},
        {"saturation", Short(0xA409, {2}), "2-高"},
        {"sharpness", Short(0xA40A, {0}), "0-标准"},
        {"subject distance range", Short(0xA40C, {1}), "1-微距"},
        {"exposure program", Short(0x8822, {3}), "3-光圈优先"},
        {"metering", Short(0x9207, {255}), "255-其他"},
        {"resolution unit", Short(0x0128, {2}), "2-英寸"},
        {"YCbCr positioning", Short(0x0213, {2}), "2-co-sited"},
        {"thumbnail width", Long(0x0100, {160}), "160"},
        {"thumbnail height", Long(0x0101, {120}), "120"},
        {"image width", Long(0xA002, {6720}), "6720"},
        {"image height", Long(0xA003, {4480}), "4480"},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

// Each rule reads the item's own value, in the readings its type gives.
TEST(TagCatalogue, TypePairings) {
    const RuleCase cases[] = {
        {"file source stored as UNDEFINED", Undefined(0xA300, {3}), "3-DSC数码相机"},
        {"file source stored as BYTE", Byte(0xA300, {3}), "3-DSC数码相机"},
        {"file source stored as SHORT", Short(0xA300, {3}), ""},
        {"image width stored as SHORT", Short(0xA002, {4000}), "4000"},
        {"thumbnail width stored as SHORT", Short(0x0100, {160}), "160"},
        {"ISO stored as LONG", Long(0x8827, {100}), "100"},
        {"YCbCr stored as LONGs", Long(0x0212, {2, 1}), "2|1"},
        {"orientation stored as LONG 65537 matches nothing", Long(0x0112, {65537}), ""},
        {"orientation stored as LONG 6", Long(0x0112, {6}), "6-右/上"},
        {"make stored as UNDEFINED", UndefinedText(0x010F, "Nikon"), "Nikon"},
        {"make stored as BYTE", Byte(0x010F, {'N'}), ""},
        {"version stored as ASCII", Ascii(0x9000, "0221"), "v2.21"},
        {"version stored as SHORT", Short(0x9000, {220}), ""},
        {"latitude ref stored as BYTE", Byte(0x0001, {'N'}), ""},
        {"altitude ref stored as UNDEFINED", Undefined(0x0005, {1}), "海平面以下"},
        {"altitude ref stored as SHORT", Short(0x0005, {0}), ""},
        {"aperture stored as SRATIONAL", SRational(0x829D, {{28, 10}}), "F2.8"},
        {"exposure bias stored as RATIONAL", Rational(0x9204, {{1, 3}}), "0.33EV"},
        {"exposure bias RATIONAL is unsigned", Rational(0x9204, {{0xFFFFFFFFu, 1}}),
         "4294967295.00EV"},
        {"latitude stored as SRATIONAL", SRational(0x0002, {{-35, 1}, {40, 1}}), "-35°40'"},
        {"exposure time stored as SRATIONAL", SRational(0x829A, {{-1, 125}}), "-1/125\""},
        {"image width stored as SLONG", SLong(0xA002, {4000}), ""},
        {"ISO stored as SSHORT", SShort(0x8827, {100}), ""},
        {"aperture stored as DOUBLE", testsupport::Double(0x829D, {2.8}), ""},
        {"CFA pattern stored as SHORT", Short(0xA302, {2}), ""},
        {"text tag stored as LONG", Long(0x0131, {1}), ""},
        {"Exif pointer stored as SLONG", SLong(0x8769, {1234}), "偏移:1234"},
        {"GPS pointer stored as SLONG", SLong(0x8825, {1234}), "偏移:1234"},
        {"negative SLONG pointer keeps its sign", SLong(0x8825, {-256}), "偏移:-256"},
        {"Exif pointer stored as IFD", Raw(0x8769, 13, 1, {0xD2, 0x04, 0, 0}), "偏移:1234"},
        {"GPS pointer stored as IFD", Raw(0x8825, 13, 1, {0xD2, 0x04, 0, 0}), "偏移:1234"},
        {"pointer stored as SHORT", Short(0x8769, {1234}), "偏移:1234"},
        {"thumbnail offset stored as SLONG", SLong(0x0201, {1234}), ""},
        {"width stored as IFD", Raw(0xA002, 13, 1, {0xD2, 0x04, 0, 0}), ""},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

// The maximum aperture is stored as an APEX value v and shown as the
// f-number 2^(v/2), to one decimal.
TEST(TagCatalogue, MaximumApertureIsAnFNumber) {
    const RuleCase cases[] = {
        {"f/5.6 as exiftool stores it", Rational(0x9205, {{40761, 8200}}), "F5.6"},
        {"f/5.6 as 4.96875", Rational(0x9205, {{159, 32}}), "F5.6"},
        {"f/2.8 as 2.97", Rational(0x9205, {{297, 100}}), "F2.8"},
        {"f/2 exactly", Rational(0x9205, {{2, 1}}), "F2"},
        {"f/1.8", Rational(0x9205, {{169, 100}}), "F1.8"},
        {"f/1", Rational(0x9205, {{0, 1}}), "F1"},
        {"f/8192, still a number", Rational(0x9205, {{26, 1}}), "F8192"},
        {"above f/10000 shows the stored fraction", Rational(0x9205, {{27, 1}}), "F27/1"},
        {"no finite f-number", Rational(0x9205, {{0xFFFFFFFFu, 1}}), "F4294967295/1"},
        {"zero denominator", Rational(0x9205, {{5, 0}}), "F5/0"},
        {"negative APEX value", SRational(0x9205, {{-2, 1}}), "F0.5"},
        {"tie rounds away from zero", SRational(0x9205, {{-4, 1}}), "F0.3"},
        {"vanishing f-number", SRational(0x9205, {{-2147483647 - 1, 1}}), "F0"},
        {"numerator only", Raw(0x9205, 5, 0, {5, 0, 0, 0}), "F"},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

// Latitude and longitude keep degrees and minutes; stored seconds join the
// minutes (to four decimals), and without seconds the text is unchanged.
TEST(TagCatalogue, GpsSecondsJoinTheMinutes) {
    const RuleCase cases[] = {
        {"phone latitude", Rational(0x0002, {{31, 1}, {13, 1}, {4620, 100}}), "31°13.77'"},
        {"four decimals", Rational(0x0002, {{43, 1}, {28, 1}, {2808, 1000}}), "43°28.0468'"},
        {"longitude", Rational(0x0004, {{121, 1}, {28, 1}, {2421, 100}}), "121°28.4035'"},
        {"rounded to four decimals", Rational(0x0004, {{10, 1}, {0, 1}, {1, 1}}), "10°0.0167'"},
        {"tie rounds away from zero", Rational(0x0002, {{1, 1}, {0, 1}, {15, 8}}), "1°0.0313'"},
        {"trailing zeros dropped", Rational(0x0002, {{31, 1}, {13, 1}, {30, 1}}), "31°13.5'"},
        {"a whole minute more", Rational(0x0002, {{31, 1}, {13, 1}, {60, 1}}), "31°14'"},
        {"decimal degrees with seconds", Rational(0x0002, {{3123040, 100000}, {0, 1}, {30, 1}}),
         "31.2304°0.5'"},
        {"zero seconds: minutes as stored", Rational(0x0002, {{1, 1}, {1, 3}, {0, 1}}),
         "1°0.333333333333333'"},
        {"zero seconds over a denominator", Rational(0x0002, {{1, 1}, {1, 3}, {0, 7}}),
         "1°0.333333333333333'"},
        {"missing seconds", Rational(0x0004, {{1, 1}, {1, 3}}), "1°0.333333333333333'"},
        {"seconds without a denominator",
         Raw(0x0004, 5, 0, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 30, 0, 0, 0}),
         "1°0.333333333333333'"},
        {"seconds over zero", Rational(0x0002, {{35, 1}, {40, 1}, {30, 0}}), "35°40'"},
        {"minutes over zero", Rational(0x0002, {{35, 1}, {40, 0}, {30, 1}}), "35°40/0'"},
        {"largest words", Rational(0x0002, {{1, 1}, {0xFFFFFFFFu, 1}, {0xFFFFFFFFu, 1}}),
         "1°4366550083.25'"},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

TEST(TagCatalogue, UnsignedValues) {
    const RuleCase cases[] = {
        {"ISO 0xFFFF", Short(0x8827, {0xFFFF}), "65535"},
        {"ISO 0x8005", Short(0x8827, {0x8005}), "32773"},
        {"compression 0x8005", Short(0x0103, {0x8005}), "32773-PackBits"},
        {"35 mm 0xFFFF", Short(0xA405, {0xFFFF}), "65535mm"},
        {"subject area 0xFFFF", Short(0x9214, {0xFFFF, 1, 2, 3}),
         "矩形:中心点(X=65535,Y=1）,宽=2,高=3"},
        {"image width 0xFFFFFFFF", Long(0xA002, {0xFFFFFFFFu}), "4294967295"},
        {"pointer 0x80000000", Long(0x8769, {0x80000000u}), "偏移:2147483648"},
        {"exposure time words", Rational(0x829A, {{0xFFFFFFFFu, 0x80000000u}}),
         "4294967295/2147483648\""},
        {"latitude degrees", Rational(0x0002, {{0xFFFFFFFFu, 1}, {0xFFFFFFFFu, 1}}),
         "4294967295°4294967295'"},
        {"time stamp hours", Rational(0x0007, {{0x80000000u, 1}, {0, 1}, {0, 1}}),
         "2147483648:0:0 UTC"},
        {"aperture of huge words", Rational(0x829D, {{0xFFFFFFFFu, 0xFFFFFFFFu}}), "F1"},
        {"colour space 0xFFFF", Short(0xA001, {0xFFFF}), "65535-未校准"},
        {"colour space 2", Short(0xA001, {2}), ""},
        {"colour space 1", Short(0xA001, {1}), "1-sRGB"},
        {"colour space 65535 as LONG", Long(0xA001, {65535}), "65535-未校准"},
        {"CFA pattern byte 200", Byte(0xA302, {200}), "200"},
        {"SRATIONAL stays signed", SRational(0x9203, {{-2147483647 - 1, 1}}), "-2147483648.00 BV"},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

TEST(TagCatalogue, ZeroDenominators) {
    const RuleCase cases[] = {
        {"digital zoom 0/0", Rational(0xA404, {{0, 0}}), "0/0x"},
        {"aperture 5/0", Rational(0x829D, {{5, 0}}), "F5/0"},
        {"maximum aperture 0/0", Rational(0x9205, {{0, 0}}), "F0/0"},
        {"focal length 50/0", Rational(0x920A, {{50, 0}}), "50/0mm"},
        {"distance", Rational(0x9206, {{0xFFFFFFFFu, 0}}), "4294967295/0 m"},
        {"resolution", Rational(0x011A, {{72, 0}}), "72/0"},
        {"shutter speed signed", SRational(0x9201, {{-5, 0}}), "-5/0 TV"},
        {"exposure bias 0/0", SRational(0x9204, {{0, 0}}), "0/0EV"},
        {"brightness", SRational(0x9203, {{3, 0}}), "3/0 BV"},
        {"aperture value", Rational(0x9202, {{0xFFFFFFFFu, 0}}), "4294967295/0 AV"},
        {"altitude", Rational(0x0006, {{1, 0}}), "1/0 m"},
        {"image direction", Rational(0x0011, {{0, 0}}), "0/0"},
        {"focal-plane resolution", Rational(0xA20E, {{4000, 0}}), "4000/0"},
        {"latitude minutes", Rational(0x0002, {{35, 1}, {40, 0}}), "35°40/0'"},
        {"time stamp seconds", Rational(0x0007, {{8, 1}, {5, 1}, {7, 0}}), "8:5:7/0 UTC"},
        {"exposure time is a fraction anyway", Rational(0x829A, {{1, 0}}), "1/0\""},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

TEST(TagCatalogue, MissingElements) {
    const RuleCase cases[] = {
        {"YCbCr with one value", Short(0x0212, {2}), "2|"},
        {"YCbCr with none", Short(0x0212, {}), "|"},
        {"subject area as a point", Short(0x9214, {1000, 750}),
         "矩形:中心点(X=1000,Y=750）,宽=,高="},
        {"subject area as a circle", Short(0x9214, {1000, 750, 90}),
         "矩形:中心点(X=1000,Y=750）,宽=90,高="},
        {"time stamp with two rationals", Rational(0x0007, {{8, 1}, {5, 1}}), "8:5: UTC"},
        {"time stamp with one rational", Rational(0x0007, {{8, 1}}), "8:: UTC"},
        {"time stamp with a lone numerator",
         Raw(0x0007, 5, 0, {8, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0}),
         "8:5: UTC"},
        {"latitude with one rational", Rational(0x0002, {{35, 1}}), "35°'"},
        {"aperture with a numerator only", Raw(0x829D, 5, 0, {28, 0, 0, 0}), "F"},
        {"exposure bias with a numerator only", Raw(0x9204, 10, 0, {1, 0, 0, 0}), "EV"},
        {"exposure time of length 0", Rational(0x829A, {}), "/\""},
        {"orientation of length 0", Short(0x0112, {}), ""},
        {"ISO of length 0", Short(0x8827, {}), ""},
        {"35 mm of length 0", Short(0xA405, {}), "mm"},
        {"width of length 0", Long(0xA002, {}), ""},
        {"pointer of length 0", Long(0x8769, {}), "偏移:"},
        {"altitude ref of length 0: no code", Byte(0x0005, {}), ""},
        {"file source of length 0", Undefined(0xA300, {}), ""},
        {"make of length 0", Raw(0x010F, 2, 0, {}), ""},
        {"latitude ref of length 0 is an empty text", Raw(0x0001, 2, 0, {}), "南纬"},
        {"longitude ref of length 0", Raw(0x0003, 2, 0, {}), "西经"},
        {"direction ref of length 0", Undefined(0x0010, {}), "磁方位"},
        {"version of length 0", Undefined(0x9000, {}), "v0"},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

TEST(TagCatalogue, NumberEdges) {
    const RuleCase cases[] = {
        {"bias of minus zero", SRational(0x9204, {{0, -3}}), "0.00EV"},
        {"bias rounding to zero from below", SRational(0x9204, {{-1, 1000}}), "0.00EV"},
        {"brightness tie rounds away from zero", SRational(0x9203, {{-1, 8}}), "-0.13 BV"},
        {"aperture value tie", Rational(0x9202, {{1, 8}}), "0.13 AV"},
        {"altitude tie at four decimals", Rational(0x0006, {{1, 32}}), "0.0313 m"},
        {"aperture of minus zero", SRational(0x829D, {{0, -1}}), "F0"},
        {"focal length of a third", Rational(0x920A, {{1, 3}}), "0.333333333333333mm"},
        {"version text without digits", Ascii(0x9000, "abc"), "v0"},
        {"version with a long digit run", UndefinedText(0x9000, std::string(400, '9')),
         "v1.79769313486232e+306"},
        {"version with leading space", UndefinedText(0xA000, " 100"), "v0"},
        {"version beyond four digits", UndefinedText(0x9000, "12345"), "v123.45"},
    };
    ExpectValues(std::begin(cases), std::end(cases));
}

}  // namespace
}  // namespace exif
