// The description of an ICC colour profile ("sRGB IEC61966-2.1", "Display
// P3"): the text of its 'desc' tag, an ICC v2 text description or a v4
// multi-localised text (whose first record is taken).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace exif {

// Empty when the profile has no readable description.
std::string IccDescription(std::span<const std::uint8_t> profile);

}  // namespace exif
