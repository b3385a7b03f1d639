#include "largeview/histogram.h"

#include <algorithm>

namespace viewer {
namespace {

// One pixel in a thousand at an end marks the channel clipped: a specular
// glint of a few pixels is not, a blown sky or a crushed shadow is.
constexpr std::uint64_t kClippedShare = 1000;

// Rec. 601's weights in 256ths: 77 + 150 + 29 = 256, so white stays 255.
inline int LuminanceOf(int red, int green, int blue) {
    return (77 * red + 150 * green + 29 * blue + 128) >> 8;
}

}  // namespace

bool Histogram::shadowsClipped(Channel channel) const {
    return pixels > 0 && std::uint64_t{counts[channel][0]} * kClippedShare >= pixels;
}

bool Histogram::highlightsClipped(Channel channel) const {
    return pixels > 0 && std::uint64_t{counts[channel][255]} * kClippedShare >= pixels;
}

std::uint32_t Histogram::peak() const {
    std::uint32_t inner = 0, all = 0;
    for (const auto& levels : counts) {
        inner = std::max(inner, *std::max_element(levels.begin() + 1, levels.end() - 1));
        all = std::max({all, levels.front(), levels.back()});
    }
    return inner > 0 ? inner : all;
}

Histogram histogramOf(const QImage& picture) {
    Histogram histogram;
    if (picture.isNull()) return histogram;
    auto& [red, green, blue, luminance] = histogram.counts;
    if (picture.format() == QImage::Format_Grayscale8) {
        for (int y = 0; y < picture.height(); ++y) {
            const uchar* row = picture.constScanLine(y);
            for (int x = 0; x < picture.width(); ++x) ++luminance[row[x]];
        }
        red = green = blue = luminance;
        histogram.pixels = std::uint64_t(picture.width()) * std::uint64_t(picture.height());
        return histogram;
    }
    const bool words = picture.format() == QImage::Format_RGB32 ||
                       picture.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage converted =
        words ? picture : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const bool opaque = converted.format() == QImage::Format_RGB32;
    std::uint64_t counted = 0;
    for (int y = 0; y < converted.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(converted.constScanLine(y));
        for (int x = 0; x < converted.width(); ++x) {
            QRgb pixel = row[x];
            if (!opaque) {
                const int alpha = qAlpha(pixel);
                if (alpha == 0) continue;
                if (alpha != 255) pixel = qUnpremultiply(pixel);
            }
            const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
            ++red[r];
            ++green[g];
            ++blue[b];
            ++luminance[LuminanceOf(r, g, b)];
            ++counted;
        }
    }
    histogram.pixels = counted;
    return histogram;
}

}  // namespace viewer
