#include "assets/generator/band_background.h"

#include <algorithm>
#include <cmath>

namespace {

int mix(int from, int to, double amount) {
    return std::clamp(static_cast<int>(std::lround(from + (to - from) * amount)), 0, 255);
}

}  // namespace

QColor bandColour(int x, int y) {
    // The left edge is the window colour itself, so the band flows into the
    // window's frame; it lifts towards white on the right, slowly at first.
    const double across = std::clamp(x / double(kBandWidth - 1), 0.0, 1.0);
    double lift = 0.30 * std::pow(across, 1.25);
    // A faint sheen at the top gives the band some depth.
    lift += 0.05 * (1.0 - y / double(kBandHeight - 1));

    QColor colour(mix(kWindowColour.red(), 255, lift), mix(kWindowColour.green(), 255, lift),
                  mix(kWindowColour.blue(), 255, lift));
    // The last row is darker: a crisp edge against the white photo panel.
    if (y == kBandHeight - 1) colour = colour.darker(118);
    return colour;
}

QImage bandBackground(const QRect& area) {
    QImage image(area.size(), QImage::Format_RGB32);
    for (int row = 0; row < area.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int column = 0; column < area.width(); ++column)
            line[column] = bandColour(area.x() + column, area.y() + row).rgb();
    }
    return image;
}
