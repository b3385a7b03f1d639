// Drawing onto a persistent surface (a QImage or QPixmap) with the flat GDI+
// operations the photo panel uses: scaled images, solid fills and one
// unwrapped line of text in a rectangle.
#pragma once

#include "platform/gdip_image.h"
#include "platform/gdip_objects.h"

#include <QString>

class QPaintDevice;

namespace platform {

struct GpGraphics;

// A graphics object drawing onto `device`, which must be an image or a pixmap
// (a window is drawn only inside its paint event, so it cannot be a target).
// nullptr for a widget, a null device or one that another graphics object is
// drawing on. Drawing shows once the graphics object is deleted.
GpGraphics* GdipCreateFromHDC(QPaintDevice* device);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
using GraphicsHandle = GdipHandle<GpGraphics, GdipDeleteGraphics>;

// Draws the source rectangle of `image` (pixels) scaled into the target
// rectangle. Only the pixels the target needs are decoded; an empty target
// draws nothing. `srcUnit` must be UnitPixel.
GpStatus GdipDrawImageRectRectI(GpGraphics* graphics, const GpImage* image, int dstx, int dsty,
                                int dstwidth, int dstheight, int srcx, int srcy, int srcwidth,
                                int srcheight, GpUnit srcUnit = UnitPixel);

GpStatus GdipFillRectangleI(GpGraphics* graphics, const GpBrush* brush, int x, int y, int width,
                            int height);

// Draws `text` (its first `length` UTF-16 units; -1 for all) as one line: line
// breaks are drawn as spaces and the line is never wrapped. The line's top is
// the rectangle's top; horizontally it is placed by the format's alignment
// within the rectangle, or around rect.X when the width is 0 (unbounded).
// Wider than a bounded rectangle, it is cut by the format's trimming
// (EllipsisCharacter: ending in "…"). Text outside a bounded width is
// clipped; the height is not a clip, because the installed fallback faces
// have taller lines than the 12-pixel cells the forms were laid out with.
// A null font, format or brush draws nothing (InvalidParameter).
GpStatus GdipDrawString(GpGraphics* graphics, const QString& text, int length, const GpFont* font,
                        const RectF* layoutRect, const GpStringFormat* format,
                        const GpBrush* brush);

// The line GdipDrawString would draw for the same arguments, and where: the
// text after trimming and the rectangle its advance covers. For callers that
// need to measure, and for tests.
struct StringLine {
    QString text;
    RectF bounds;
};
StringLine GdipLayoutString(const QString& text, int length, const GpFont* font,
                            const RectF& layoutRect, const GpStringFormat* format);

}  // namespace platform
