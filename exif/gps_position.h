// Where a photo was taken, from its GPS items: the list words the latitude
// and longitude for reading (degrees and minutes only), so a map link needs
// the stored numbers themselves.
#pragma once

#include <optional>
#include <string_view>

namespace reader {
class PropertyImage;
}

namespace exif {

// Decimal degrees: north and east positive.
struct GpsPoint {
    double latitude = 0;
    double longitude = 0;
};

// The position from the stored degrees, minutes and seconds of latitude
// (0x0002) and longitude (0x0004) with their references N/S (0x0001) and
// E/W (0x0003), taking the first item of each tag as the list does. Nothing
// when an item is missing or unreadable, a reference is neither of its two
// letters, a number is negative or divided by zero, or the result lies off
// the globe.
std::optional<GpsPoint> GpsPosition(const reader::PropertyImage& image);

// True for the labels of the GPS directory's rows in the list.
bool IsGpsLabel(std::string_view label);

}  // namespace exif
