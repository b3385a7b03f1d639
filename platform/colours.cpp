#include "platform/colours.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

namespace platform {
namespace {

struct SystemColourRole {
    int index;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The system colours by index, as the palette roles that play the same
// part in a Qt style.
constexpr SystemColourRole kSystemColours[] = {
    {0, QPalette::Active, QPalette::Mid},                 // scroll bar
    {1, QPalette::Active, QPalette::Dark},                // desktop
    {2, QPalette::Active, QPalette::Highlight},           // active caption
    {3, QPalette::Inactive, QPalette::Highlight},         // inactive caption
    {4, QPalette::Active, QPalette::Window},              // menu
    {5, QPalette::Active, QPalette::Base},                // window
    {6, QPalette::Active, QPalette::Shadow},              // window frame
    {7, QPalette::Active, QPalette::WindowText},          // menu text
    {8, QPalette::Active, QPalette::Text},                // window text
    {9, QPalette::Active, QPalette::HighlightedText},     // caption text
    {10, QPalette::Active, QPalette::Button},             // active border
    {11, QPalette::Inactive, QPalette::Button},           // inactive border
    {12, QPalette::Active, QPalette::Mid},                // application workspace
    {13, QPalette::Active, QPalette::Highlight},          // highlight
    {14, QPalette::Active, QPalette::HighlightedText},    // highlight text
    {15, QPalette::Active, QPalette::Button},             // button face
    {16, QPalette::Active, QPalette::Dark},               // button shadow
    {17, QPalette::Disabled, QPalette::Text},             // grey text
    {18, QPalette::Active, QPalette::ButtonText},         // button text
    {19, QPalette::Inactive, QPalette::HighlightedText},  // inactive caption text
    {20, QPalette::Active, QPalette::Light},              // button highlight
    {21, QPalette::Active, QPalette::Shadow},             // 3-D dark shadow
    {22, QPalette::Active, QPalette::Midlight},           // 3-D light
    {23, QPalette::Active, QPalette::ToolTipText},        // tooltip text
    {24, QPalette::Active, QPalette::ToolTipBase},        // tooltip background
    {26, QPalette::Active, QPalette::Link},               // hot-tracked item
    {27, QPalette::Active, QPalette::Highlight},          // active caption gradient
    {28, QPalette::Inactive, QPalette::Highlight},        // inactive caption gradient
    {29, QPalette::Active, QPalette::Highlight},          // menu highlight
    {30, QPalette::Active, QPalette::Window},             // menu bar
};

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

bool isSystemColour(std::uint32_t colour) { return (colour & kSystemColourFlag) != 0; }

std::uint32_t resolveColour(std::uint32_t colour) {
    if (!isSystemColour(colour)) return colour & 0x00FFFFFFu;
    const int index = static_cast<int>(colour & 0xFFu);
    const QPalette palette = QGuiApplication::palette();
    for (const SystemColourRole& entry : kSystemColours) {
        if (entry.index == index) return fromQColor(palette.color(entry.group, entry.role));
    }
    return 0;
}

QColor toQColor(std::uint32_t colour) {
    const std::uint32_t rgb = resolveColour(colour);
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>((rgb >> 16) & 0xFF));
}

std::uint32_t fromQColor(const QColor& colour) {
    return static_cast<std::uint32_t>(colour.red()) | (static_cast<std::uint32_t>(colour.green()) << 8) |
           (static_cast<std::uint32_t>(colour.blue()) << 16);
}

std::array<std::uint8_t, 3> splitRgb(std::uint32_t colour) {
    // Signed: the remainder keeps the sign, the quotient truncates toward
    // zero; each byte keeps its low 8 bits.
    const std::int32_t c = static_cast<std::int32_t>(colour);
    return {static_cast<std::uint8_t>((c % 256) & 0xFF), static_cast<std::uint8_t>(((c % 65536) / 256) & 0xFF),
            static_cast<std::uint8_t>((c / 65536) & 0xFF)};
}

HlsColour rgbToHls(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const std::int32_t r = red, g = green, b = blue;
    const std::int32_t maxC = std::max({r, g, b});
    const std::int32_t minC = std::min({r, g, b});
    HlsColour hls;
    hls.luminance = ((maxC + minC) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (maxC == minC) {
        hls.hue = kHueUndefined;
        hls.saturation = 0;
        return hls;
    }
    const std::int32_t diff = maxC - minC;
    if (hls.luminance <= kHlsMax / 2)
        hls.saturation = (diff * kHlsMax + (maxC + minC) / 2) / (maxC + minC);
    else
        hls.saturation = (diff * kHlsMax + (2 * kRgbMax - maxC - minC) / 2) / (2 * kRgbMax - maxC - minC);
    const auto norm = [&](std::int32_t c) { return ((maxC - c) * (kHlsMax / 6) + diff / 2) / diff; };
    const std::int32_t rNorm = norm(r), gNorm = norm(g), bNorm = norm(b);
    if (r == maxC) hls.hue = bNorm - gNorm;
    else if (g == maxC) hls.hue = kHlsMax / 3 + rNorm - bNorm;
    else hls.hue = kHlsMax * 2 / 3 + gNorm - rNorm;
    if (hls.hue < 0) hls.hue += kHlsMax;
    else if (hls.hue > kHlsMax) hls.hue -= kHlsMax;
    return hls;
}

std::uint32_t hlsToRgb(std::int32_t hue, std::int32_t saturation, std::int32_t luminance) {
    hue = std::clamp(hue, 0, kHlsMax);
    saturation = std::clamp(saturation, 0, kHlsMax);
    luminance = std::clamp(luminance, 0, kHlsMax);
    std::int32_t r, g, b;
    if (saturation == 0) {
        r = g = b = luminance * kRgbMax / kHlsMax;
    } else {
        const std::int32_t mid2 = luminance <= kHlsMax / 2
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
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) | (static_cast<std::uint32_t>(b) << 16);
}

}  // namespace platform
