#pragma once

#include <QImage>

// The 128 x 128 hint icon of the empty photo panel: a portrait placeholder,
// a head-and-shoulders figure on a blue tile with rounded corners.
QImage hintIcon();
