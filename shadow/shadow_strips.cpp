#include "shadow/shadow_strips.h"

#include <algorithm>
#include <cmath>

namespace shadow {
namespace {

// The ramp along the bottom and top strips: a fade-in over the first `depth`
// columns at the left end only.
int HorizontalRamp(int column, int depth) { return column < depth ? column * 255 / depth : 255; }

// The right strip fades in from its bottom end and out towards its top end;
// `run` counts rows from the bottom.
int VerticalRamp(int run, int height, int depth) {
    if (run < depth) return run * 255 / depth;
    if (run < height - depth) return 255;
    return (height - run) * 255 / depth;
}

std::uint8_t Premultiplied(std::uint32_t channel, int alpha) {
    return static_cast<std::uint8_t>(std::nearbyint(static_cast<double>(channel) * alpha / 255.0));
}

}  // namespace

QRect StripRect(Strip strip, const QRect& form, int depth) {
    const int x = form.x();
    const int y = form.y();
    const int w = form.width();
    const int h = form.height();
    switch (strip) {
    case Strip::Right: return QRect(x + w, y - depth, depth, h + 2 * depth);
    case Strip::Bottom: return QRect(x - depth, y + h, w + depth, depth);
    case Strip::Left: return QRect(x - depth, y, depth, h);
    case Strip::Top: return QRect(x - depth, y - depth, w + depth, depth);
    }
    return {};
}

int StripAlpha(Strip strip, int width, int height, int depth, int x, int y) {
    if (depth < 1) return 0;
    int alpha = 0;
    switch (strip) {
    case Strip::Right:  // k: column counted from the form, on the left
        alpha = (depth - x) * VerticalRamp(height - 1 - y, height, depth) / depth;
        break;
    case Strip::Bottom:  // k: row counted from the form, above
        alpha = (depth - 1 - y) * HorizontalRamp(x, depth) / depth;
        break;
    case Strip::Left:  // k: column counted from the form, on the right
        alpha = (depth - 1 - (width - 1 - x)) * 255 / depth;
        break;
    case Strip::Top:  // k: row counted from the form, below
        alpha = (depth - (height - 1 - y)) * HorizontalRamp(x, depth) / depth;
        break;
    }
    return std::clamp(alpha, 0, 255);
}

QImage RenderStripPixels(Strip strip, QSize size, int depth, std::uint32_t rgb) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    const std::uint32_t red = rgb & 0xFF;
    const std::uint32_t green = (rgb >> 8) & 0xFF;
    const std::uint32_t blue = (rgb >> 16) & 0xFF;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int alpha = StripAlpha(strip, size.width(), size.height(), depth, x, y);
            line[x] = qRgba(Premultiplied(red, alpha), Premultiplied(green, alpha),
                            Premultiplied(blue, alpha), alpha);
        }
    }
    return image;
}

}  // namespace shadow
