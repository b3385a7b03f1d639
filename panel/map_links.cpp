#include "panel/map_links.h"

#include <QString>

namespace viewer {
namespace {

// Six decimals, a point as decimal separator whatever the locale, and no
// "-0.000000" for a value that rounds to zero.
QString Degrees(double value) {
    QString text = QString::number(value, 'f', 6);
    if (text == QLatin1String("-0.000000")) text.remove(0, 1);
    return text;
}

}  // namespace

QUrl amapUrl(const exif::GpsPoint& point) {
    return QUrl(QStringLiteral("https://uri.amap.com/marker?position=%1,%2&coordinate=wgs84")
                    .arg(Degrees(point.longitude), Degrees(point.latitude)),
                QUrl::StrictMode);
}

QUrl openStreetMapUrl(const exif::GpsPoint& point) {
    const QString lat = Degrees(point.latitude);
    const QString lon = Degrees(point.longitude);
    return QUrl(
        QStringLiteral("https://www.openstreetmap.org/?mlat=%1&mlon=%2#map=16/%1/%2").arg(lat, lon),
        QUrl::StrictMode);
}

}  // namespace viewer
