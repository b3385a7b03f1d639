#include "platform/layout.h"

#include <cmath>
#include <limits>

namespace platform {
namespace {

// Saturated, so that an absurd size cannot make the conversion undefined.
std::int32_t RoundToInt32(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = roundHalfEven(value);
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

// The default rounding mode rounds halves to even; nothing here changes it.
double roundHalfEven(double value) { return std::nearbyint(value); }

void fitToBox(std::int32_t maxWidth, std::int32_t maxHeight, std::int32_t& width,
              std::int32_t& height) {
    if (height <= 0) return;
    // The ratio is kept in single precision on purpose: it decides the
    // rounding of halves (1000 x 4000 in 418 gives 104.5, which goes to 104).
    const float ratio =
        static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
    height = maxHeight;
    width = RoundToInt32(static_cast<double>(ratio) * maxHeight);
    if (width > maxWidth) {
        width = maxWidth;
        height = RoundToInt32(static_cast<double>(maxWidth) / static_cast<double>(ratio));
    }
}

int pointsToPixels(double points) { return static_cast<int>(points * 96 / 72); }

}  // namespace platform
