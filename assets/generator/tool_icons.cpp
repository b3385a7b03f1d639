#include "assets/generator/tool_icons.h"

#include <QPainterPath>
#include <QPolygonF>

namespace {

constexpr double kStroke = 2.0;

}  // namespace

void paintLandscapeIcon(QPainter& painter, const QRectF& box, const QColor& colour) {
    painter.save();
    const QRectF frame = box.adjusted(kStroke / 2, kStroke / 2, -kStroke / 2, -kStroke / 2);
    painter.setPen(QPen(colour, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame, 3, 3);

    const QRectF inside =
        frame.adjusted(kStroke / 2 + 2, kStroke / 2 + 2, -kStroke / 2 - 2, -kStroke / 2 - 2);
    QPainterPath clip;
    clip.addRoundedRect(inside, 1.5, 1.5);
    painter.setClipPath(clip);
    painter.setPen(Qt::NoPen);

    // A sun in the upper right and two hills, the far one fainter.
    const double w = inside.width();
    const double h = inside.height();
    const QPointF origin = inside.topLeft();
    auto at = [&](double fx, double fy) { return origin + QPointF(fx * w, fy * h); };
    painter.setBrush(colour);
    painter.drawEllipse(at(0.74, 0.27), h * 0.14, h * 0.14);

    QColor far = colour;
    far.setAlphaF(colour.alphaF() * 0.55);
    painter.setBrush(far);
    painter.drawPolygon(QPolygonF{at(0.30, 1.1), at(0.66, 0.38), at(1.1, 1.1)});
    painter.setBrush(colour);
    painter.drawPolygon(QPolygonF{at(-0.1, 1.1), at(0.33, 0.30), at(0.82, 1.1)});
    painter.restore();
}

void paintFloppyIcon(QPainter& painter, const QRectF& box, const QColor& colour) {
    painter.save();
    const QRectF body = box.adjusted(kStroke / 2, kStroke / 2, -kStroke / 2, -kStroke / 2);
    const double cut = body.width() * 0.2;
    const double radius = 2.5;

    // The body with its clipped top-right corner.
    QPainterPath outline;
    outline.moveTo(body.left() + radius, body.top());
    outline.lineTo(body.right() - cut, body.top());
    outline.lineTo(body.right(), body.top() + cut);
    outline.lineTo(body.right(), body.bottom() - radius);
    outline.quadTo(body.bottomRight(), QPointF(body.right() - radius, body.bottom()));
    outline.lineTo(body.left() + radius, body.bottom());
    outline.quadTo(body.bottomLeft(), QPointF(body.left(), body.bottom() - radius));
    outline.lineTo(body.left(), body.top() + radius);
    outline.quadTo(body.topLeft(), QPointF(body.left() + radius, body.top()));
    outline.closeSubpath();
    painter.setPen(QPen(colour, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);

    const double w = body.width();
    const double h = body.height();
    painter.setPen(Qt::NoPen);

    // The metal shutter at the top, with its window.
    const QRectF shutter(body.left() + w * 0.22, body.top(), w * 0.50, h * 0.34);
    QPainterPath shutterShape;
    shutterShape.addRect(shutter);
    QPainterPath shutterWindow;
    shutterWindow.addRect(QRectF(shutter.left() + shutter.width() * 0.62, shutter.top() + h * 0.07,
                                 shutter.width() * 0.22, shutter.height() - h * 0.14));
    painter.setBrush(colour);
    painter.drawPath(shutterShape.subtracted(shutterWindow));

    // The label, with two ruled lines.
    const QRectF label(body.left() + w * 0.16, body.top() + h * 0.52, w * 0.68,
                       h * 0.48 - kStroke / 2);
    QColor paper = colour;
    paper.setAlphaF(colour.alphaF() * 0.9);
    QPainterPath labelShape;
    labelShape.addRoundedRect(label, 1.5, 1.5);
    QPainterPath rules;
    for (double line : {0.34, 0.64})
        rules.addRect(QRectF(label.left() + label.width() * 0.18,
                             label.top() + label.height() * line, label.width() * 0.64, 1.4));
    painter.setBrush(paper);
    painter.drawPath(labelShape.subtracted(rules));
    painter.restore();
}
