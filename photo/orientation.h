// A photo's orientation: the Exif code (1-8) that says how its stored pixels
// turn to stand upright. Sizes and pictures leave the photo road upright;
// the metadata list keeps showing the stored code.
#pragma once

#include <QImage>
#include <QSize>

namespace reader {
class PropertyImage;
}

namespace photo {

// The code of the Orientation item of the photo's first directory (0x0112),
// or 1 when it has none or holds something other than 1-8.
int orientationOf(const reader::PropertyImage* metadata);

// Whether the orientation turns the photo a quarter, so that its width and
// height trade places (codes 5-8).
bool swapsSides(int orientation);

QSize uprightSize(const QSize& stored, int orientation);

// The stored picture turned upright, pixel for pixel.
QImage upright(const QImage& stored, int orientation);

}  // namespace photo
