// The small helpers of the graphics module: fitting a picture size into a box
// and converting colours between RGB and the platform's HLS scale. Plain C++
// (no Qt), so they can be used and tested without a display.
#pragma once

#include <array>
#include <cstdint>

namespace mGdip {

// The system's real-to-integer rounding: to the nearest integer, halves to the
// even neighbour (2.5 -> 2, 3.5 -> 4), as the layout's numbers were worked out.
double RoundHalfEven(double value);

// Fits width x height into maxWidth x maxHeight keeping the aspect ratio. The
// height decides first; a small picture is enlarged as well as shrunk. A
// height of 0 or less leaves both values unchanged.
void FitToBox(std::int32_t maxWidth, std::int32_t maxHeight, std::int32_t& width,
              std::int32_t& height);

// Red, green and blue bytes of an OLE colour (0x00BBGGRR). The top bit of a
// system colour is not resolved: callers pass plain RGB colours.
std::array<std::uint8_t, 3> SplitRGB(std::uint32_t colour);

// Hue, saturation and luminance on the platform's 0..240 scale.
struct HLSColor {
    std::int32_t Hue = 0;
    std::int32_t Saturation = 0;
    std::int32_t Luminance = 0;
};

constexpr std::int32_t kHlsMax = 240;

HLSColor RGBToHLS(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// Note the argument order: saturation before luminance. Components outside
// 0..240 (a derived luminance of 280, a saturation of -20) are clamped.
std::uint32_t HLSToRGB(std::int32_t hue, std::int32_t saturation, std::int32_t luminance);

}  // namespace mGdip
