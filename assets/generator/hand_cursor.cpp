#include "assets/generator/hand_cursor.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>

namespace {

constexpr int kSize = 32;

QPainterPath roundedBar(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath handShape() {
    // Edges lie on half pixels so the 1-pixel outline falls on whole pixels;
    // the index finger's outline peaks at the hot spot's row and column.
    const double tipX = kHandHotSpot.x() + 0.5;
    const double tipY = kHandHotSpot.y() + 0.5;
    QPainterPath hand = roundedBar(QRectF(tipX - 2, tipY, 4, 15), 2);
    hand = hand.united(roundedBar(QRectF(tipX + 2, tipY + 7, 4, 10), 2));
    hand = hand.united(roundedBar(QRectF(tipX + 6, tipY + 8, 4, 9), 2));
    hand = hand.united(roundedBar(QRectF(tipX + 10, tipY + 9.5, 3, 8), 1.5));

    QPainterPath palm;
    palm.moveTo(tipX - 2, tipY + 11);
    palm.lineTo(tipX + 13, tipY + 11);
    palm.lineTo(tipX + 13, tipY + 18);
    palm.cubicTo(tipX + 13, tipY + 21, tipX + 12, tipY + 22, tipX + 11, tipY + 23);
    palm.lineTo(tipX + 1, tipY + 23);
    palm.cubicTo(tipX - 1, tipY + 22, tipX - 2, tipY + 21, tipX - 2, tipY + 19);
    palm.closeSubpath();
    hand = hand.united(palm);

    // The thumb leans out to the left from the base of the palm.
    QPainterPath thumb = roundedBar(QRectF(-2, -2, 10, 4), 2);
    QTransform lean;
    lean.translate(tipX - 1.5, tipY + 18.5);
    lean.rotate(-135);
    hand = hand.united(lean.map(thumb));
    return hand.simplified();
}

}  // namespace

QImage handCursor() {
    QImage cursor(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    cursor.fill(Qt::transparent);
    QPainter painter(&cursor);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPainterPath hand = handShape();
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(hand);

    // Creases between the folded fingers.
    const double tipX = kHandHotSpot.x() + 0.5;
    const double tipY = kHandHotSpot.y() + 0.5;
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(tipX + 2, tipY + 9), QPointF(tipX + 2, tipY + 13));
    painter.drawLine(QPointF(tipX + 6, tipY + 10), QPointF(tipX + 6, tipY + 13.5));
    painter.drawLine(QPointF(tipX + 10, tipY + 11), QPointF(tipX + 10, tipY + 14));
    return cursor;
}
