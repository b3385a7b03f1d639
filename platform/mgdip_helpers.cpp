#include "platform/mgdip_helpers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mGdip {
namespace {

// Saturated, so that an absurd size cannot make the conversion undefined.
std::int32_t RoundToInt32(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = RoundHalfEven(value);
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

constexpr std::int32_t kRgbMax = 255;
constexpr std::int32_t kHueUndefined = kHlsMax * 2 / 3;

// One channel of the HLS-to-RGB conversion on the 0..240 scale: rises over
// the first sixth of the hue circle, holds, falls over the fourth sixth.
std::int32_t HueToChannel(std::int32_t hue, std::int32_t mid1, std::int32_t mid2) {
    if (hue > kHlsMax) hue -= kHlsMax;
    else if (hue < 0) hue += kHlsMax;
    if (hue > kHlsMax * 2 / 3) return mid1;
    if (hue > kHlsMax / 2) hue = kHlsMax * 2 / 3 - hue;
    else if (hue > kHlsMax / 6) return mid2;
    return (hue * (mid2 - mid1) + kHlsMax / 12) / (kHlsMax / 6) + mid1;
}

std::int32_t ChannelToRgb(std::int32_t value) { return (value * kRgbMax + kHlsMax / 2) / kHlsMax; }

}  // namespace

// The default rounding mode rounds halves to even; nothing here changes it.
double RoundHalfEven(double value) { return std::nearbyint(value); }

void FitToBox(std::int32_t maxWidth, std::int32_t maxHeight, std::int32_t& width,
              std::int32_t& height) {
    if (height <= 0) return;
    // The ratio is kept in single precision on purpose: it decides the
    // rounding of halves (1000 x 4000 in 418 gives 104.5, which goes to 104).
    const float ratio = static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
    height = maxHeight;
    const double fittedWidth = static_cast<double>(ratio) * maxHeight;
    width = RoundToInt32(fittedWidth);
    if (width > maxWidth) {
        width = maxWidth;
        height = RoundToInt32(static_cast<double>(maxWidth) / static_cast<double>(ratio));
    }
}

std::array<std::uint8_t, 3> SplitRGB(std::uint32_t colour) {
    // Signed arithmetic as the module always did it: mod keeps the sign,
    // div truncates toward zero; each element keeps its low 8 bits.
    const std::int32_t c = static_cast<std::int32_t>(colour);
    return {static_cast<std::uint8_t>((c % 256) & 0xFF),
            static_cast<std::uint8_t>(((c % 65536) / 256) & 0xFF),
            static_cast<std::uint8_t>((c / 65536) & 0xFF)};
}

HLSColor RGBToHLS(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const std::int32_t r = red, g = green, b = blue;
    const std::int32_t maxC = std::max({r, g, b});
    const std::int32_t minC = std::min({r, g, b});
    HLSColor hls;
    hls.Luminance = ((maxC + minC) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (maxC == minC) {
        hls.Hue = kHueUndefined;
        hls.Saturation = 0;
        return hls;
    }
    const std::int32_t diff = maxC - minC;
    if (hls.Luminance <= kHlsMax / 2)
        hls.Saturation = (diff * kHlsMax + (maxC + minC) / 2) / (maxC + minC);
    else
        hls.Saturation =
            (diff * kHlsMax + (2 * kRgbMax - maxC - minC) / 2) / (2 * kRgbMax - maxC - minC);
    const auto norm = [&](std::int32_t c) { return ((maxC - c) * (kHlsMax / 6) + diff / 2) / diff; };
    const std::int32_t rNorm = norm(r), gNorm = norm(g), bNorm = norm(b);
    if (r == maxC) hls.Hue = bNorm - gNorm;
    else if (g == maxC) hls.Hue = kHlsMax / 3 + rNorm - bNorm;
    else hls.Hue = kHlsMax * 2 / 3 + gNorm - rNorm;
    if (hls.Hue < 0) hls.Hue += kHlsMax;
    else if (hls.Hue > kHlsMax) hls.Hue -= kHlsMax;
    return hls;
}

std::uint32_t HLSToRGB(std::int32_t hue, std::int32_t saturation, std::int32_t luminance) {
    hue = std::clamp(hue, 0, kHlsMax);
    saturation = std::clamp(saturation, 0, kHlsMax);
    luminance = std::clamp(luminance, 0, kHlsMax);
    std::int32_t r, g, b;
    if (saturation == 0) {
        r = g = b = luminance * kRgbMax / kHlsMax;
    } else {
        const std::int32_t mid2 =
            luminance <= kHlsMax / 2
                ? ((saturation + kHlsMax) * luminance + kHlsMax / 2) / kHlsMax
                : saturation + luminance - (saturation * luminance + kHlsMax / 2) / kHlsMax;
        const std::int32_t mid1 = 2 * luminance - mid2;
        r = ChannelToRgb(HueToChannel(hue + kHlsMax / 3, mid1, mid2));
        g = ChannelToRgb(HueToChannel(hue, mid1, mid2));
        b = ChannelToRgb(HueToChannel(hue - kHlsMax / 3, mid1, mid2));
    }
    r = std::clamp(r, 0, kRgbMax);
    g = std::clamp(g, 0, kRgbMax);
    b = std::clamp(b, 0, kRgbMax);
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
           (static_cast<std::uint32_t>(b) << 16);
}

}  // namespace mGdip
