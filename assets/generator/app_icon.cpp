#include "assets/generator/app_icon.h"

#include "assets/generator/aperture_logo.h"
#include "assets/generator/band_background.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

// The proportions are those of the 128-pixel icon; every size draws them
// afresh rather than scaling a picture, so small icons stay sharp.
constexpr double kDesignSize = 128;
constexpr double kLogoSize = 84;
constexpr double kInset = 2.5;
constexpr double kCornerRadius = 24;

}  // namespace

QImage appIcon(int size) {
    const double scale = size / kDesignSize;
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);

    // Half a pixel off the grid keeps the one-pixel outline crisp.
    const double inset = std::round(kInset * scale - 0.5) + 0.5;
    const QRectF tileRect(inset, inset, size - 2 * inset, size - 2 * inset);
    QPainterPath tile;
    tile.addRoundedRect(tileRect, kCornerRadius * scale, kCornerRadius * scale);
    // The same lift towards the light as the header band, here from the
    // bottom left to the top right.
    QLinearGradient olive(tileRect.bottomLeft(), tileRect.topRight());
    olive.setColorAt(0, kWindowColour);
    olive.setColorAt(1, bandColour(kBandWidth - 1, 0));
    painter.fillPath(tile, olive);

    const int logoSize = static_cast<int>(std::lround(kLogoSize * scale));
    const int logoOffset = (size - logoSize) / 2;
    painter.drawImage(logoOffset, logoOffset, apertureLogo(logoSize, Qt::white));

    painter.setPen(QPen(kWindowColour.darker(140), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tile);
    return icon;
}
