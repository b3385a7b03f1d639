#pragma once

#include <QImage>
#include <QPoint>

// The 32 x 32 pointing-hand cursor over the hint icon: a white hand with a
// black outline on a transparent ground. The tip of the index finger is the
// hot spot.
inline constexpr QPoint kHandHotSpot{12, 4};

QImage handCursor();
