// The four strips of the shadow as plain data: where each sits around the
// window and the pixels it shows.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <array>

namespace viewer {

// The side of the window a strip lies against.
enum class StripSide { Right, Bottom, Left, Top };
constexpr std::array<StripSide, 4> kStripSides = {StripSide::Right, StripSide::Bottom,
                                                  StripSide::Left, StripSide::Top};

// The strip's rectangle in screen pixels around a window at `window`, for a
// shadow `depth` pixels wide. The right strip owns both right-hand corners,
// the top strip the top-left corner, the bottom strip the bottom-left one.
QRect stripRect(StripSide side, const QRect& window, int depth);

// Alpha (0-255) of the pixel at column x, row y (from the top-left corner of
// the strip as shown) of a strip `width` x `height` with the given depth.
int stripAlpha(StripSide side, int width, int height, int depth, int x, int y);

// The strip's pixels: `colour` premultiplied by each pixel's alpha, each
// channel rounded to nearest, halves to even. The colour's own alpha is not
// used.
QImage stripPixels(StripSide side, QSize size, int depth, const QColor& colour);

}  // namespace viewer
