// Inside of the drawing objects, shared by the files of the drawing layer
// only; callers see the opaque handles of gdip_objects.h.
#pragma once

#include "platform/gdip_objects.h"

#include <QColor>
#include <QFont>
#include <QTransform>

namespace platform {

enum class GdipKind { Image, Graphics, FontFamily, Font, StringFormat, Brush, Pen, Matrix };
void GdipCountCreated(GdipKind kind);
void GdipCountDeleted(GdipKind kind);

struct GpFontFamily {
    QString face;
};

struct GpFont {
    QFont font;
};

struct GpStringFormat {
    int flags = 0;
    StringAlignment align = StringAlignmentNear;
    StringTrimming trimming = StringTrimmingCharacter;  // GDI+'s default
};

struct GpBrush {
    QColor colour;
};

struct GpPen {
    QColor colour;
    float width = 1;
};

struct GpMatrix {
    QTransform transform;
};

// 0xAARRGGBB to QColor.
QColor ColourFromArgb(std::uint32_t argb);

}  // namespace platform
