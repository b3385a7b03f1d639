// One unwrapped line of text in a rectangle, as the photo panel draws its
// caption and every cell of its list: placed by its alignment, cut with an
// ellipsis ("…") when wider than the rectangle, never wrapped; and the
// faces the design names (宋体 and the like), found among the installed ones.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <optional>

class QColor;
class QPainter;

namespace platform {

// The installed family that stands for `face`: the face itself in any case,
// or for the Windows face the design names (宋体, SimSun) an installed face
// with Chinese glyphs (fonts-noto-cjk's serif, else its sans). Nothing when
// there is neither.
std::optional<QFont> faceFont(const QString& face, int pixelSize);

struct TextLine {
    QString text;  // as drawn: line breaks as spaces, cut with "…" when too wide
    qreal left = 0;
    qreal width = 0;  // of its advance
};

// Where `text` goes in `rect` with `alignment` (left, centre or right). A
// width of 0 is unbounded: the line then starts, is centred or ends at
// rect's left edge. The top of the line is rect's top.
TextLine layoutTextLine(const QString& text, const QFont& font, const QRectF& rect,
                        Qt::Alignment alignment);

// Draws the line laid out so. Ink outside a bounded width is clipped; the
// height is not a clip, because the installed faces have taller lines than
// the 12-pixel cells the layout was made for.
void drawTextLine(QPainter& painter, const QString& text, const QRectF& rect,
                  Qt::Alignment alignment, const QFont& font, const QColor& colour);

}  // namespace platform
