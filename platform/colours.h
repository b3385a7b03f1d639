// Colours as the design keeps them: 0x00BBGGRR (red in the low byte), or
// 0x80000000 plus the index of a system colour, which the desktop's palette
// answers for.
#pragma once

#include <QColor>
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kSystemColourFlag = 0x80000000u;
// 0x00BBGGRR; a system colour resolved through the application's palette
// (an index it does not know is black).
std::uint32_t resolveColour(std::uint32_t colour);
QColor toQColor(std::uint32_t colour);
std::uint32_t fromQColor(const QColor& colour);

}  // namespace platform
