// The small helpers of the graphics module: the rounding of reals and fitting
// a picture size into a box. Plain C++ (no Qt), so they can be used and tested
// without a display.
#pragma once

#include <cstdint>

namespace mGdip {

// The system's real-to-integer rounding: to the nearest integer, halves to the
// even neighbour (2.5 -> 2, 3.5 -> 4), as the layout's numbers were worked out.
double RoundHalfEven(double value);

// Fits width x height into maxWidth x maxHeight keeping the aspect ratio. The
// height decides first; a small picture is enlarged as well as shrunk. A
// height of 0 or less leaves both values unchanged.
void FitToBox(std::int32_t maxWidth, std::int32_t maxHeight, std::int32_t& width,
              std::int32_t& height);

}  // namespace mGdip
