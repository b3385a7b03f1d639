// The map pages that show a photo's position: Amap (the map Chinese users
// know) and OpenStreetMap, both given WGS 84 degrees to six decimals, which
// is about a tenth of a metre.
#pragma once

#include "exif/gps_position.h"

#include <QUrl>

namespace viewer {

QUrl amapUrl(const exif::GpsPoint& point);
QUrl openStreetMapUrl(const exif::GpsPoint& point);

}  // namespace viewer
