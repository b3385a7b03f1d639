#include "shadow/shadow_strips.h"

#include <algorithm>
#include <cmath>

namespace viewer {
namespace {

// The ramp along the bottom and top strips: a fade-in over the first `depth`
// columns at the left end only.
int horizontalRamp(int column, int depth) { return column < depth ? column * 255 / depth : 255; }

// The right strip fades in from its bottom end and out towards its top end;
// `run` counts rows from the bottom.
int verticalRamp(int run, int height, int depth) {
    if (run < depth) return run * 255 / depth;
    if (run < height - depth) return 255;
    return (height - run) * 255 / depth;
}

// nearbyint in the default rounding mode takes halves to the even neighbour.
int premultiplied(int channel, int alpha) {
    return static_cast<int>(std::nearbyint(static_cast<double>(channel) * alpha / 255.0));
}

}  // namespace

QRect stripRect(StripSide side, const QRect& window, int depth) {
    const int x = window.x();
    const int y = window.y();
    const int w = window.width();
    const int h = window.height();
    switch (side) {
    case StripSide::Right: return QRect(x + w, y - depth, depth, h + 2 * depth);
    case StripSide::Bottom: return QRect(x - depth, y + h, w + depth, depth);
    case StripSide::Left: return QRect(x - depth, y, depth, h);
    case StripSide::Top: return QRect(x - depth, y - depth, w + depth, depth);
    }
    return {};
}

int stripAlpha(StripSide side, int width, int height, int depth, int x, int y) {
    if (depth < 1) return 0;
    // k, the distance from the window's edge, counts from the strip's side
    // that touches the window; the right and top strips start at full ramp
    // value there, the bottom and left strips one step lower.
    int alpha = 0;
    switch (side) {
    case StripSide::Right:
        alpha = (depth - x) * verticalRamp(height - 1 - y, height, depth) / depth;
        break;
    case StripSide::Bottom: alpha = (depth - 1 - y) * horizontalRamp(x, depth) / depth; break;
    case StripSide::Left: alpha = (depth - 1 - (width - 1 - x)) * 255 / depth; break;
    case StripSide::Top:
        alpha = (depth - (height - 1 - y)) * horizontalRamp(x, depth) / depth;
        break;
    }
    return std::clamp(alpha, 0, 255);
}

QImage stripPixels(StripSide side, QSize size, int depth, const QColor& colour) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    const QRgb rgb = colour.rgb();
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int alpha = stripAlpha(side, size.width(), size.height(), depth, x, y);
            line[x] = qRgba(premultiplied(qRed(rgb), alpha), premultiplied(qGreen(rgb), alpha),
                            premultiplied(qBlue(rgb), alpha), alpha);
        }
    }
    return image;
}

}  // namespace viewer
