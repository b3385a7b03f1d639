#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

// Line icons of the two large buttons, drawn in one colour into `box`.
void paintLandscapeIcon(QPainter& painter, const QRectF& box, const QColor& colour);
void paintFloppyIcon(QPainter& painter, const QRectF& box, const QColor& colour);
