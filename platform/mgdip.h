// The earlier names of layout.h and colours.h, kept only for controls/ until it
// calls the new ones; it goes when it no longer does.
#pragma once

#include "platform/colours.h"
#include "platform/layout.h"

namespace mGdip {

inline double RoundHalfEven(double value) { return platform::roundHalfEven(value); }
inline std::array<std::uint8_t, 3> SplitRGB(std::uint32_t colour) { return platform::splitRgb(colour); }

struct HLSColor {
    std::int32_t Hue = 0, Saturation = 0, Luminance = 0;
};

inline HLSColor RGBToHLS(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const platform::HlsColour hls = platform::rgbToHls(red, green, blue);
    return {hls.hue, hls.saturation, hls.luminance};
}

inline std::uint32_t HLSToRGB(std::int32_t hue, std::int32_t saturation, std::int32_t luminance) {
    return platform::hlsToRgb(hue, saturation, luminance);
}

}  // namespace mGdip
