// The shooting summary line: the exposure time's wording, which item gives
// each part, and what is left out.
#include <gtest/gtest.h>

#include "exif/shooting_summary.h"
#include "reader/property_items.h"
#include "tiff_builder.h"

namespace exif {
namespace {

using namespace testsupport;

TEST(ShootingSummary, ExposureTimeAsPhotographersWriteIt) {
    const struct {
        std::uint32_t numerator, denominator;
        const char* expected;
    } cases[] = {
        {4, 300, "1/75 s"},
        {1, 4000, "1/4000 s"},
        {1, 134, "1/134 s"},
        {10, 1250, "1/125 s"},
        {1, 2, "0.5 s"},
        {2, 1, "2 s"},
        {30, 1, "30 s"},
        {1, 1, "1 s"},
        // 0.3 s is compared on the rational: 3/10 is not under it.
        {3, 10, "0.3 s"},
        {1, 3, "0.3 s"},
        {29, 100, "1/3 s"},
        {13, 10, "1.3 s"},
        {5, 4, "1.3 s"},
        {10, 16, "0.6 s"},
        {4, 3, "1.3 s"},
        {9, 20, "0.5 s"},  // a half rounds away from zero
        {2, 9, "1/5 s"},   // 1/4.5
        {3001, 100, "30 s"},
        {3051, 100, "30.5 s"},
        {4294967295u, 1, "4294967295 s"},
        {1, 4294967295u, "1/4294967295 s"},
        {4294967295u, 4294967295u, "1 s"},
        {0, 1, ""},
        {1, 0, ""},
        {0, 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExposureTimeText(c.numerator, c.denominator), c.expected)
            << c.numerator << "/" << c.denominator;
}

std::string SummaryOf(std::vector<Field> ifd0, std::vector<Field> exif, bool bigEndian = false) {
    TiffSpec spec;
    spec.bigEndian = bigEndian;
    spec.ifd0.fields = std::move(ifd0);
    if (!exif.empty()) spec.exif = Ifd{std::move(exif), {}};
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::MemorySource(BuildTiff(spec).bytes));
    return ShootingSummary(image);
}

TEST(ShootingSummary, PartsFromTheirItems) {
    const Field model = Ascii(0x0110, "iPhone 13 Pro");
    const Field focal35 = Short(0xA405, {26});
    const Field focal = Rational(0x920A, {{57, 10}});
    const Field fNumber = Rational(0x829D, {{3, 2}});
    const Field time = Rational(0x829A, {{1, 134}});
    const Field iso = Short(0x8827, {32});
    const struct {
        const char* name;
        std::vector<Field> ifd0, exif;
        std::string expected;
    } cases[] = {
        {"a phone's photo",
         {Ascii(0x010F, "Apple"), model},
         {time, fNumber, iso, focal, focal35},
         "iPhone 13 Pro · 26 mm · F1.5 · 1/134 s · ISO 32"},
        {"no 35 mm focal length", {model}, {focal, fNumber}, "iPhone 13 Pro · 5.7 mm · F1.5"},
        {"a 35 mm focal length of 0 is unknown",
         {model},
         {focal, Short(0xA405, {0})},
         "iPhone 13 Pro · 5.7 mm"},
        {"a whole focal length", {}, {Rational(0x920A, {{500, 10}})}, "50 mm"},
        {"no model", {}, {time, iso}, "1/134 s · ISO 32"},
        {"only the time", {}, {Rational(0x829A, {{4, 300}})}, "1/75 s"},
        {"model with padding", {Ascii(0x0110, "  Canon EOS R5 \n ")}, {}, "Canon EOS R5"},
        {"blank model", {Ascii(0x0110, "   ")}, {iso}, "ISO 32"},
        {"model as UTF-8 type",
         {Raw(0x0110, 129, 7, {'X', '-', 'T', '5', ' ', ' ', 0})},
         {},
         "X-T5"},
        {"F2.8", {}, {Rational(0x829D, {{28, 10}})}, "F2.8"},
        {"F16", {}, {Rational(0x829D, {{16, 1}})}, "F16"},
        {"F1.78 is marked F1.8", {}, {Rational(0x829D, {{178, 100}})}, "F1.8"},
        {"F0.95 keeps its second decimal", {}, {Rational(0x829D, {{95, 100}})}, "F0.95"},
        {"an f-number of 0/0 is unknown", {}, {Rational(0x829D, {{0, 0}}), iso}, "ISO 32"},
        {"a negative time is unknown", {}, {SRational(0x829A, {{-1, 100}})}, ""},
        {"ISO as LONG", {}, {Long(0x8827, {800})}, "ISO 800"},
        {"ISO at its ceiling, ISOSpeed given",
         {},
         {Short(0x8827, {65535}), Long(0x8833, {102400})},
         "ISO 102400"},
        {"ISO at its ceiling, exposure index given",
         {},
         {Short(0x8827, {65535}), Long(0x8832, {80000})},
         "ISO 80000"},
        {"ISO at its ceiling, output sensitivity given",
         {},
         {Short(0x8827, {65535}), Long(0x8831, {70000})},
         "ISO 70000"},
        {"ISO at its ceiling alone", {}, {Short(0x8827, {65535})}, "ISO 65535"},
        {"only the newer ISO tag", {}, {Long(0x8832, {400})}, "ISO 400"},
        {"ISO 0 is unknown", {}, {Short(0x8827, {0})}, ""},
        {"text where a number belongs", {}, {Ascii(0x8827, "100"), Ascii(0x829D, "2.8")}, ""},
        {"nothing known", {Ascii(0x010F, "Canon")}, {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SummaryOf(c.ifd0, c.exif), c.expected) << c.name;
        EXPECT_EQ(SummaryOf(c.ifd0, c.exif, true), c.expected) << c.name << ", big-endian";
    }
}

}  // namespace
}  // namespace exif
