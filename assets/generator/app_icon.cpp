#include "assets/generator/app_icon.h"

#include "assets/generator/aperture_logo.h"
#include "assets/generator/band_background.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kSize = 128;
constexpr int kLogoSize = 84;

} // namespace

QImage appIcon()
{
    QImage icon(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF tileRect(2.5, 2.5, kSize - 5, kSize - 5);
    QPainterPath tile;
    tile.addRoundedRect(tileRect, 24, 24);
    // The same lift towards the light as the header band, here from the
    // bottom left to the top right.
    QLinearGradient olive(tileRect.bottomLeft(), tileRect.topRight());
    olive.setColorAt(0, kWindowColour);
    olive.setColorAt(1, bandColour(kBandWidth - 1, 0));
    painter.fillPath(tile, olive);

    const int logoOffset = (kSize - kLogoSize) / 2;
    painter.drawImage(logoOffset, logoOffset, apertureLogo(kLogoSize, Qt::white));

    painter.setPen(QPen(kWindowColour.darker(140), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tile);
    return icon;
}
