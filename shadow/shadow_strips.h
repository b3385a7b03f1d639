// The four strips of the shadow as plain data: where each sits around the
// form and the pixels it shows.
#pragma once

#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>

namespace shadow {

enum class Strip { Right, Bottom, Left, Top };
constexpr std::array<Strip, 4> kAllStrips = {Strip::Right, Strip::Bottom, Strip::Left, Strip::Top};

// The strip's rectangle in screen pixels for a form at `form` and a shadow
// `depth` pixels wide. The right strip owns both right-hand corners, the top
// strip the top-left corner, the bottom strip the bottom-left one.
QRect StripRect(Strip strip, const QRect& form, int depth);

// Alpha (0-255) of the pixel at column x, row y (from the top-left corner of
// the strip as shown) of a strip `width` x `height` with the given depth.
int StripAlpha(Strip strip, int width, int height, int depth, int x, int y);

// The strip's pixels: `rgb` (0x00BBGGRR) premultiplied by each pixel's alpha,
// each channel rounded to nearest, halves to even.
QImage RenderStripPixels(Strip strip, QSize size, int depth, std::uint32_t rgb);

}  // namespace shadow
