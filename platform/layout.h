// The arithmetic the layout was worked out with: rounding halves to even,
// fitting a picture into a box, and the 96 dots per inch the sizes assume.
#pragma once

#include <cstdint>

namespace platform {

// To the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4),
// as the layout's numbers were worked out: 304.5 puts the hint icon at 304.
double roundHalfEven(double value);

// Fits width x height into maxWidth x maxHeight keeping the aspect ratio.
// The height decides first, so a small picture is enlarged as well as
// shrunk and a tall one fills the whole height. A height of 0 or less
// leaves both values unchanged.
void fitToBox(std::int32_t maxWidth, std::int32_t maxHeight, std::int32_t& width,
              std::int32_t& height);

// A font size in points as pixels at 96 dots per inch, truncated as the
// layout's were (16 points are 21 pixels).
int pointsToPixels(double points);

}  // namespace platform
