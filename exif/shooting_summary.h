// The one line phones and photo libraries show under a photo, "iPhone 13 Pro
// · 26 mm · F1.5 · 1/134 s · ISO 32": model, focal length, aperture,
// exposure time and ISO, each left out when the photo does not say it. Not a
// row of the metadata list: the list and the report keep their own wording.
#pragma once

#include <cstdint>
#include <string>

namespace reader {
class PropertyImage;
}

namespace exif {

// The line for the photo's items; empty when none of its parts is known.
std::string ShootingSummary(const reader::PropertyImage& image);

// An exposure time of numerator/denominator seconds as photographers write
// it: "1/75 s" for 4/300, "0.5 s", "1.3 s", "30 s". Empty for a time of 0
// or a zero denominator.
std::string ExposureTimeText(std::uint32_t numerator, std::uint32_t denominator);

}  // namespace exif
