// The photo's position for the map links, from its stored GPS items.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "exif/gps_position.h"
#include "exif/metadata_list.h"
#include "reader/property_items.h"
#include "tiff_builder.h"

namespace exif {
namespace {

using namespace testsupport;
using Angle = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

std::optional<GpsPoint> PositionOf(const std::vector<Field>& gpsFields, bool bigEndian = false) {
    TiffSpec spec;
    spec.bigEndian = bigEndian;
    spec.ifd0.fields = {Ascii(0x010F, "Canon")};
    spec.gps = Ifd{gpsFields, std::nullopt};
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::MemorySource(BuildTiff(spec).bytes));
    return GpsPosition(image);
}

TEST(GpsPosition, FromDegreesMinutesSecondsAndReferences) {
    // 33°30'36" is 33.51 and 118°15'18" is 118.255: exact in six decimals.
    const Angle lat{{33, 1}, {30, 1}, {36, 1}};
    const Angle lon{{118, 1}, {15, 1}, {18, 1}};
    struct Case {
        const char* name;
        std::vector<Field> fields;
        bool bigEndian;
        std::optional<GpsPoint> expected;
    };
    const Case cases[] = {
        {"north east",
         {Ascii(1, "N"), Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         false,
         GpsPoint{33.51, 118.255}},
        {"south west",
         {Ascii(1, "S"), Rational(2, lat), Ascii(3, "W"), Rational(4, lon)},
         false,
         GpsPoint{-33.51, -118.255}},
        {"big-endian file",
         {Ascii(1, "S"), Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         true,
         GpsPoint{-33.51, 118.255}},
        {"seconds with a denominator",
         {Ascii(1, "N"), Rational(2, {{33, 1}, {30, 1}, {3600, 100}}), Ascii(3, "E"),
          Rational(4, lon)},
         false,
         GpsPoint{33.51, 118.255}},
        {"decimal degrees in the degrees",
         {Ascii(1, "N"), Rational(2, {{3351000, 100000}, {0, 1}, {0, 1}}), Ascii(3, "E"),
          Rational(4, {{118255, 1000}, {0, 1}, {0, 1}})},
         false,
         GpsPoint{33.51, 118.255}},
        {"decimal minutes, seconds 0/0",
         {Ascii(1, "N"), Rational(2, {{33, 1}, {306, 10}, {0, 0}}), Ascii(3, "E"),
          Rational(4, {{118, 1}, {153, 10}, {0, 0}})},
         false,
         GpsPoint{33.51, 118.255}},
        {"the poles and the date line",
         {Ascii(1, "S"), Rational(2, {{90, 1}, {0, 1}, {0, 1}}), Ascii(3, "W"),
          Rational(4, {{180, 1}, {0, 1}, {0, 1}})},
         false,
         GpsPoint{-90, -180}},
        {"signed rationals",
         {Ascii(1, "N"), SRational(2, {{33, 1}, {30, 1}, {36, 1}}), Ascii(3, "E"),
          Rational(4, lon)},
         false,
         GpsPoint{33.51, 118.255}},
        {"a negative signed rational",
         {Ascii(1, "N"), SRational(2, {{-33, 1}, {30, 1}, {36, 1}}), Ascii(3, "E"),
          Rational(4, lon)},
         false,
         std::nullopt},
        {"no latitude reference",
         {Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"no longitude", {Ascii(1, "N"), Rational(2, lat), Ascii(3, "E")}, false, std::nullopt},
        {"reference of another letter",
         {Ascii(1, "X"), Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"east as a latitude reference",
         {Ascii(1, "E"), Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"a word as the reference",
         {Ascii(1, "North"), Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"reference as a number",
         {Short(1, {78}), Rational(2, lat), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"degrees over zero",
         {Ascii(1, "N"), Rational(2, {{33, 0}, {30, 1}, {36, 1}}), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"degrees 0/0",
         {Ascii(1, "N"), Rational(2, {{0, 0}, {30, 1}, {36, 1}}), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"seconds over zero",
         {Ascii(1, "N"), Rational(2, {{33, 1}, {30, 1}, {5, 0}}), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"only degrees and minutes",
         {Ascii(1, "N"), Rational(2, {{33, 1}, {30, 1}}), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"latitude past the pole",
         {Ascii(1, "N"), Rational(2, {{90, 1}, {0, 1}, {1, 1}}), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
        {"longitude past the date line",
         {Ascii(1, "N"), Rational(2, lat), Ascii(3, "E"),
          Rational(4, {{179, 1}, {60, 1}, {1, 10}})},
         false,
         std::nullopt},
        {"huge numbers",
         {Ascii(1, "N"), Rational(2, {{0xFFFFFFFF, 1}, {0, 1}, {0, 1}}), Ascii(3, "E"),
          Rational(4, lon)},
         false,
         std::nullopt},
        {"latitude as text",
         {Ascii(1, "N"), Ascii(2, "33.51"), Ascii(3, "E"), Rational(4, lon)},
         false,
         std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<GpsPoint> got = PositionOf(c.fields, c.bigEndian);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.name;
        if (!got) continue;
        EXPECT_NEAR(got->latitude, c.expected->latitude, 1e-9) << c.name;
        EXPECT_NEAR(got->longitude, c.expected->longitude, 1e-9) << c.name;
    }
}

TEST(GpsPosition, NoGpsDirectoryNoPosition) {
    TiffSpec spec;
    spec.ifd0.fields = {Ascii(0x010F, "Canon")};
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::MemorySource(BuildTiff(spec).bytes));
    EXPECT_FALSE(GpsPosition(image).has_value());
    const reader::PropertyImage garbage =
        reader::PropertyImage::Open(reader::MemorySource({1, 2, 3}));
    EXPECT_FALSE(GpsPosition(garbage).has_value());
}

// The GPS rows of a camera's list are exactly those of the GPS directory.
TEST(GpsPosition, GpsLabelsAreTheGpsDirectorysRows) {
    TiffSpec camera = CameraSpec();
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::MemorySource(BuildTiff(camera).bytes));
    MetadataList list;
    list.LoadMetadata(&image);
    std::size_t gpsRows = 0;
    for (const MetadataEntry& entry : list.Entries()) {
        if (IsGpsLabel(entry.label)) ++gpsRows;
    }
    // The camera block's GPS directory holds 8 items; its version (0x0000)
    // is not listed. The extra catalogue adds the position in degrees.
    EXPECT_EQ(gpsRows, camera.gps->fields.size() - 1 + 1);
    EXPECT_TRUE(IsGpsLabel("GPS 坐标"));
    EXPECT_FALSE(IsGpsLabel("GPS Info IFD Pointer"));
    EXPECT_FALSE(IsGpsLabel(""));
}

}  // namespace
}  // namespace exif
