#include "platform/mgdip_helpers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mGdip {
namespace {

// Saturated, so that an absurd size cannot make the conversion undefined.
std::int32_t RoundToInt32(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = RoundHalfEven(value);
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

// The default rounding mode rounds halves to even; nothing here changes it.
double RoundHalfEven(double value) { return std::nearbyint(value); }

void FitToBox(std::int32_t maxWidth, std::int32_t maxHeight, std::int32_t& width,
              std::int32_t& height) {
    if (height <= 0) return;
    // The ratio is kept in single precision on purpose: it decides the
    // rounding of halves (1000 x 4000 in 418 gives 104.5, which goes to 104).
    const float ratio = static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
    height = maxHeight;
    const double fittedWidth = static_cast<double>(ratio) * maxHeight;
    width = RoundToInt32(fittedWidth);
    if (width > maxWidth) {
        width = maxWidth;
        height = RoundToInt32(static_cast<double>(maxWidth) / static_cast<double>(ratio));
    }
}

}  // namespace mGdip
