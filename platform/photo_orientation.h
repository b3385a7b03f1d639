// A photo's orientation: the Exif code (1-8) that says how its stored pixels
// turn to stand upright. The image layer reports sizes and draws pixels
// upright; the metadata list keeps showing the stored code.
#pragma once

#include "reader/property_items.h"

#include <QImage>
#include <QRect>
#include <QSize>

namespace platform {

// The code of the Orientation item of the photo's first directory (0x0112),
// or 1 when it has none or holds something other than 1-8.
int PhotoOrientation(const reader::PropertyImage* properties);

// Whether the orientation turns the photo a quarter, so that its width and
// height trade places (codes 5-8).
bool SwapsSides(int orientation);

QSize UprightSize(const QSize& stored, int orientation);

// The stored pixels that show as `upright` once the photo is turned.
QRect StoredRect(const QRect& upright, const QSize& stored, int orientation);

// The stored picture turned upright, pixel for pixel.
QImage Upright(const QImage& stored, int orientation);

}  // namespace platform
