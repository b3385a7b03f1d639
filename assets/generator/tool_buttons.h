#pragma once

#include "assets/generator/button_state.h"

#include <QImage>
#include <QString>

// The 82 x 80 pictures of the open and save buttons: an icon above a caption,
// on the piece of header band that the button covers (its left edge at
// `bandLeft`), so the button sits seamlessly on the band.
enum class ToolIcon { Landscape, Floppy };

inline constexpr int kToolButtonWidth = 82;
inline constexpr int kToolButtonHeight = 80;

QImage toolButtonPicture(ToolIcon icon, const QString& caption, int bandLeft, ButtonState state);
