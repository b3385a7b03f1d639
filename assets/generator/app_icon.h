#pragma once

#include <QImage>

// The 128 x 128 window icon: the header's aperture mark on a tile in the
// window's colour, so the task bar shows the same mark as the window.
QImage appIcon();
