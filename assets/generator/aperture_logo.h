#pragma once

#include <QColor>
#include <QImage>

// The product's mark: a camera aperture, six blades inside a ring, drawn in
// one colour with the blades shaded as if lit from the top left. The opening
// and the gaps are transparent, so the mark sits on any background.
QImage apertureLogo(int size, const QColor& colour);
