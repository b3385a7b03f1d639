// Colours as the design keeps them: 0x00BBGGRR (red in the low byte), or
// 0x80000000 plus the index of a system colour, which the desktop's palette
// answers for. And the hue, lightness and saturation scale (0..240) the
// scroll bar derives its shades on.
#pragma once

#include <QColor>
#include <array>
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kSystemColourFlag = 0x80000000u;
bool isSystemColour(std::uint32_t colour);
// 0x00BBGGRR; a system colour resolved through the application's palette
// (an index it does not know is black).
std::uint32_t resolveColour(std::uint32_t colour);
QColor toQColor(std::uint32_t colour);
std::uint32_t fromQColor(const QColor& colour);

// Red, green and blue bytes of 0x00BBGGRR. A system colour is not resolved:
// its bytes come out of signed arithmetic, as they always did.
std::array<std::uint8_t, 3> splitRgb(std::uint32_t colour);

struct HlsColour {
    std::int32_t hue = 0;
    std::int32_t saturation = 0;
    std::int32_t luminance = 0;
};
inline constexpr std::int32_t kHlsMax = 240;

HlsColour rgbToHls(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// Note the argument order: saturation before luminance. Components outside
// 0..240 (a derived luminance of 280, a saturation of -20) are clamped.
std::uint32_t hlsToRgb(std::int32_t hue, std::int32_t saturation, std::int32_t luminance);

}  // namespace platform
