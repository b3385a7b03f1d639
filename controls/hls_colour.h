// Colours on the hue, luminance and saturation scale of 0 to 240 that the
// scroll bar's derived colours were worked out on. Qt's own HSL scale rounds
// differently, so the derived colours would come out a step off.
#pragma once

#include <QColor>

namespace viewer {

struct HlsColour {
    int hue = 0;
    int luminance = 0;
    int saturation = 0;
};

constexpr int kHlsMax = 240;

// A grey has no hue; it reads as 160, two thirds of the way round.
HlsColour toHls(const QColor& colour);
// Components outside 0 to 240 (a derived luminance of 280, a saturation of
// -20) are clamped.
QColor fromHls(int hue, int luminance, int saturation);

}  // namespace viewer
