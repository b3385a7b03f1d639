#include "shadow/strip_window.h"

#include <QPainter>

namespace viewer {

// A tool window owned by the shadowed window: the window system keeps it
// above its owner and hides it with it.
StripWindow::StripWindow(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                         Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void StripWindow::setPixels(const QRect& placement, const QImage& pixels, int opacity) {
    pixels_ = pixels;
    opacity_ = opacity;
    setGeometry(placement);
    update();
}

void StripWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(opacity_ / 255.0);
    painter.drawImage(0, 0, pixels_);
}

}  // namespace viewer
