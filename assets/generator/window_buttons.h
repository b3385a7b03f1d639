#pragma once

#include "assets/generator/button_state.h"

#include <QImage>

// The 28 x 20 pictures of the three small buttons at the top right of the
// band (menu, minimise, close), on the piece of band that each one covers.
// They have no disabled look: these buttons are never disabled.
enum class WindowGlyph { Menu, Minimise, Close };

inline constexpr int kWindowButtonWidth = 28;
inline constexpr int kWindowButtonHeight = 20;

QImage windowButtonPicture(WindowGlyph glyph, int bandLeft, ButtonState state);
