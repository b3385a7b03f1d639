#include "shadow/strip_window.h"

#include <QPainter>

namespace shadow {

StripWindow::StripWindow(QWidget* form)
    : QWidget(form, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                        Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void StripWindow::UpdateLayered(const QRect& placement, const QImage& pixels, std::uint8_t opacity) {
    m_pixels = pixels;
    m_opacity = opacity;
    ++m_renders;
    setGeometry(placement);
    update();
}

void StripWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(m_opacity / 255.0);
    painter.drawImage(0, 0, m_pixels);
}

}  // namespace shadow
