#include "assets/generator/window_buttons.h"

#include "assets/generator/band_background.h"

#include <QPainter>

namespace {

// The close button turns red under the pointer, as title bars commonly do.
constexpr QColor kCloseHot{232, 17, 35};
constexpr QColor kCloseDown{176, 14, 28};

void paintGlyph(QPainter& painter, WindowGlyph glyph, const QColor& ink) {
    // Bars lie on whole pixels so they stay sharp; every glyph is centred on
    // row 9, the menu's middle bar, so the three read as one row.
    switch (glyph) {
    case WindowGlyph::Menu:
        for (int top : {5, 9, 13}) painter.fillRect(QRect(9, top, 10, 1), ink);
        break;
    case WindowGlyph::Minimise: painter.fillRect(QRect(9, 9, 10, 1), ink); break;
    case WindowGlyph::Close:
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(ink, 1.25, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(9.5, 5), QPointF(18.5, 14));
        painter.drawLine(QPointF(18.5, 5), QPointF(9.5, 14));
        break;
    }
}

}  // namespace

QImage windowButtonPicture(WindowGlyph glyph, int bandLeft, ButtonState state) {
    QImage picture = bandBackground(QRect(bandLeft, 0, kWindowButtonWidth, kWindowButtonHeight));
    QPainter painter(&picture);
    const QRect whole(0, 0, kWindowButtonWidth, kWindowButtonHeight);
    const bool close = glyph == WindowGlyph::Close;

    QColor ink(255, 255, 255, 235);
    switch (state) {
    case ButtonState::Hot:
        painter.fillRect(whole, close ? kCloseHot : QColor(255, 255, 255, 45));
        ink = Qt::white;
        break;
    case ButtonState::Down:
        painter.fillRect(whole, close ? kCloseDown : QColor(0, 0, 0, 55));
        ink = close ? QColor(255, 255, 255, 220) : QColor(255, 255, 255, 215);
        painter.translate(1, 1);
        break;
    case ButtonState::Normal:
    case ButtonState::Disabled: break;
    }
    paintGlyph(painter, glyph, ink);
    return picture;
}
