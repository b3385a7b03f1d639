#include "panel/hint_icon.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

namespace viewer {

HintIcon::HintIcon(QWidget* parent)
    : QWidget(parent), picture_(QStringLiteral(":/pictures/hint.png")) {
    setFixedSize(kSize, kSize);
    const QPixmap hand(QStringLiteral(":/pictures/hand_cursor.png"));
    setCursor(hand.isNull() ? QCursor(Qt::PointingHandCursor)
                            : QCursor(hand, kHotSpotX, kHotSpotY));
    setToolTip(QStringLiteral("选择要渲染的模板"));
}

void HintIcon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void HintIcon::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    event->accept();
}

// A click is a press and a release of the left button, both over the icon.
void HintIcon::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    if (rect().contains(event->position().toPoint())) emit clicked();
}

}  // namespace viewer
