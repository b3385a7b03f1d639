// One strip of the shadow: a frameless, click-through tool window owned by
// the shadowed window, showing premultiplied pixels under a constant opacity.
#pragma once

#include <QImage>
#include <QWidget>

namespace viewer {

class StripWindow : public QWidget {
    Q_OBJECT
public:
    explicit StripWindow(QWidget* owner);

    // Shows new pixels at `placement` (screen pixels) under the constant
    // opacity `opacity` (255 = as drawn).
    void setPixels(const QRect& placement, const QImage& pixels, int opacity);

    const QImage& pixels() const { return pixels_; }
    int opacity() const { return opacity_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage pixels_;
    int opacity_ = 255;
};

}  // namespace viewer
