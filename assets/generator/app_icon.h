#pragma once

#include <QImage>

// The window icon, `size` pixels square (128 in the program; 48, 128 and 256
// for the desktop's icon theme): the header's aperture mark on a tile in the
// window's colour, so the task bar shows the same mark as the window.
QImage appIcon(int size = 128);
