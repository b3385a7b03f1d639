#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

// The header band's background is a pure function of the position, so every
// button picture can carry the exact piece of band that lies behind it.
inline constexpr int kBandWidth = 737;
inline constexpr int kBandHeight = 80;

// The window colour, OLE &H00007571&.
inline constexpr QColor kWindowColour{113, 117, 0};

QColor bandColour(int x, int y);

// The band's background under `area` (band coordinates), as an opaque image
// of area.size().
QImage bandBackground(const QRect& area);
