#pragma once

#include <QImage>

// The 737 x 80 picture across the top of the main window: the mark and the
// product title at the left, on the band's background. Everything right of
// x = 290 is bare background: the program writes the version at (296, 40)
// and the buttons carry their own piece of the band.
QImage headerBand();
