#include "assets/generator/aperture_logo.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBlades = 6;

// Opacity of each blade, clockwise from the one at the top: shading them
// unevenly is what makes six flat shapes read as overlapping blades.
constexpr double kBladeOpacity[kBlades] = {0.95, 0.78, 0.62, 0.50, 0.62, 0.82};

QPointF unit(const QPointF& vector) {
    const double length = std::hypot(vector.x(), vector.y());
    return vector / length;
}

}  // namespace

QImage apertureLogo(int size, const QColor& colour) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPointF centre(size / 2.0, size / 2.0);
    const double ringWidth = size * 0.075;
    const double outer = size / 2.0 - 0.5;
    const double bladeRadius = outer - ringWidth - size * 0.045;
    const double openingRadius = bladeRadius * 0.40;

    QPainterPath ring;
    ring.addEllipse(centre, outer, outer);
    QPainterPath ringHole;
    ringHole.addEllipse(centre, outer - ringWidth, outer - ringWidth);
    painter.fillPath(ring.subtracted(ringHole), colour);

    // The opening is a hexagon; each blade lies between the extensions of two
    // neighbouring hexagon edges, clipped by the blade disc.
    QPointF vertex[kBlades];
    for (int i = 0; i < kBlades; ++i) {
        const double angle = qDegreesToRadians(-90.0 + 15.0 + i * 60.0);
        vertex[i] = centre + QPointF(std::cos(angle), std::sin(angle)) * openingRadius;
    }
    QPainterPath disc;
    disc.addEllipse(centre, bladeRadius, bladeRadius);
    const double far = size * 2.0;
    for (int i = 0; i < kBlades; ++i) {
        const QPointF& here = vertex[i];
        const QPointF& next = vertex[(i + 1) % kBlades];
        const QPointF& previous = vertex[(i + kBlades - 1) % kBlades];
        const QPointF alongEdge = unit(next - here);
        const QPointF alongPrevious = unit(here - previous);
        QPainterPath wedge;
        wedge.addPolygon(QPolygonF{here, next, next + alongEdge * far,
                                   here + (alongEdge + alongPrevious) * far,
                                   here + alongPrevious * far});
        wedge.closeSubpath();
        QColor shade = colour;
        shade.setAlphaF(colour.alphaF() * kBladeOpacity[i]);
        painter.fillPath(wedge.intersected(disc), shade);
    }

    // Thin gaps between the blades keep them apart at small sizes.
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setClipPath(disc);
    painter.setPen(QPen(Qt::black, std::max(1.0, size * 0.022), Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < kBlades; ++i) {
        const QPointF& here = vertex[i];
        const QPointF& next = vertex[(i + 1) % kBlades];
        painter.drawLine(next, next + unit(next - here) * bladeRadius * 2.0);
    }
    return image;
}
