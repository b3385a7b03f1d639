#include "controls/hls_colour.h"

#include <algorithm>

namespace viewer {
namespace {

constexpr int kRgbMax = 255;
constexpr int kHueUndefined = kHlsMax * 2 / 3;

// One channel on the 0 to 240 scale: rises over the first sixth of the hue
// circle, holds, falls over the fourth sixth.
int hueToChannel(int hue, int mid1, int mid2) {
    if (hue > kHlsMax) hue -= kHlsMax;
    else if (hue < 0) hue += kHlsMax;
    if (hue > kHlsMax * 2 / 3) return mid1;
    if (hue > kHlsMax / 2) hue = kHlsMax * 2 / 3 - hue;
    else if (hue > kHlsMax / 6) return mid2;
    return (hue * (mid2 - mid1) + kHlsMax / 12) / (kHlsMax / 6) + mid1;
}

int channelToRgb(int value) {
    return std::clamp((value * kRgbMax + kHlsMax / 2) / kHlsMax, 0, kRgbMax);
}

}  // namespace

HlsColour toHls(const QColor& colour) {
    const QRgb rgb = colour.rgb();
    const int r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb);
    const int maxC = std::max({r, g, b});
    const int minC = std::min({r, g, b});
    HlsColour hls;
    hls.luminance = ((maxC + minC) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (maxC == minC) {
        hls.hue = kHueUndefined;
        return hls;
    }
    const int diff = maxC - minC;
    const int sum = maxC + minC;
    hls.saturation = hls.luminance <= kHlsMax / 2
                         ? (diff * kHlsMax + sum / 2) / sum
                         : (diff * kHlsMax + (2 * kRgbMax - sum) / 2) / (2 * kRgbMax - sum);
    const auto norm = [&](int c) { return ((maxC - c) * (kHlsMax / 6) + diff / 2) / diff; };
    if (r == maxC) hls.hue = norm(b) - norm(g);
    else if (g == maxC) hls.hue = kHlsMax / 3 + norm(r) - norm(b);
    else hls.hue = kHlsMax * 2 / 3 + norm(g) - norm(r);
    if (hls.hue < 0) hls.hue += kHlsMax;
    else if (hls.hue > kHlsMax) hls.hue -= kHlsMax;
    return hls;
}

QColor fromHls(int hue, int luminance, int saturation) {
    hue = std::clamp(hue, 0, kHlsMax);
    luminance = std::clamp(luminance, 0, kHlsMax);
    saturation = std::clamp(saturation, 0, kHlsMax);
    if (saturation == 0) {
        const int grey = luminance * kRgbMax / kHlsMax;
        return QColor(grey, grey, grey);
    }
    const int mid2 =
        luminance <= kHlsMax / 2
            ? ((saturation + kHlsMax) * luminance + kHlsMax / 2) / kHlsMax
            : saturation + luminance - (saturation * luminance + kHlsMax / 2) / kHlsMax;
    const int mid1 = 2 * luminance - mid2;
    return QColor(channelToRgb(hueToChannel(hue + kHlsMax / 3, mid1, mid2)),
                  channelToRgb(hueToChannel(hue, mid1, mid2)),
                  channelToRgb(hueToChannel(hue - kHlsMax / 3, mid1, mid2)));
}

}  // namespace viewer
