#include "assets/generator/hint_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kSize = 128;

}  // namespace

QImage hintIcon() {
    QImage icon(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF tileRect(0.5, 0.5, kSize - 1, kSize - 1);
    QPainterPath tile;
    tile.addRoundedRect(tileRect, 16, 16);
    QLinearGradient blue(0, 0, 0, kSize);
    blue.setColorAt(0, QColor(96, 160, 232));
    blue.setColorAt(1, QColor(44, 108, 196));
    painter.fillPath(tile, blue);

    painter.setClipPath(tile);
    // The figure is pale blue rather than white so it reads as a placeholder.
    const QColor figure(226, 238, 252);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 60, 130, 50));
    painter.drawEllipse(QPointF(64, 55), 22, 22);
    painter.drawEllipse(QPointF(64, 131), 47, 45);
    painter.setBrush(figure);
    painter.drawEllipse(QPointF(64, 53), 22, 22);
    painter.drawEllipse(QPointF(64, 129), 47, 45);
    painter.setClipping(false);

    painter.setPen(QPen(QColor(30, 84, 160), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tile);
    return icon;
}
