// The texts that spell out coded values ("3-光圈优先"). Each lookup gives the
// empty text for a code that its table does not list, except the two-way
// lookups, which give their second text for everything but the one input
// they test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace exif {

struct CodeText {
    std::uint32_t code;
    std::string_view text;
};

// The one lookup over a table: exact match of the unsigned code.
std::string_view LookupCode(std::span<const CodeText> table, std::uint32_t code);

std::string_view OrientationText(std::uint32_t code);
std::string_view ResolutionUnitText(std::uint32_t code);
std::string_view ExposureProgramText(std::uint32_t code);
std::string_view MeteringModeText(std::uint32_t code);
std::string_view LightSourceText(std::uint32_t code);
std::string_view FlashText(std::uint32_t code);
std::string_view WhiteBalanceText(std::uint32_t code);
std::string_view ColorSpaceText(std::uint32_t code);
std::string_view SensingMethodText(std::uint32_t code);
std::string_view CompressionText(std::uint32_t code);
std::string_view SceneCaptureTypeText(std::uint32_t code);
std::string_view GainControlText(std::uint32_t code);
std::string_view ContrastText(std::uint32_t code);
std::string_view SaturationText(std::uint32_t code);
std::string_view SharpnessText(std::uint32_t code);
std::string_view SubjectDistanceRangeText(std::uint32_t code);
std::string_view ExposureModeText(std::uint32_t code);
std::string_view CustomRenderedText(std::uint32_t code);
std::string_view YCbCrPositioningText(std::uint32_t code);
std::string_view PhotometricText(std::uint32_t code);
std::string_view SceneTypeText(std::uint32_t code);
std::string_view FileSourceText(std::uint32_t code);

// Two-way lookups.
std::string_view AltitudeRefText(std::uint32_t code);
std::string_view LatitudeRefText(std::string_view text);
std::string_view LongitudeRefText(std::string_view text);
std::string_view ImgDirectionRefText(std::string_view text);

}  // namespace exif
