// One strip of the shadow: a frameless, click-through tool window owned by the
// form that shows premultiplied pixels under a constant opacity, the way a
// layered window does.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace shadow {

class StripWindow : public QWidget {
    Q_OBJECT
public:
    explicit StripWindow(QWidget* form);

    // Shows new pixels at `placement` (screen pixels) under the constant
    // opacity `opacity` (255 = as drawn).
    void UpdateLayered(const QRect& placement, const QImage& pixels, std::uint8_t opacity);

    const QImage& pixels() const { return m_pixels; }
    std::uint8_t constantOpacity() const { return m_opacity; }
    // How many times new pixels were handed in; moves don't count.
    int renderCount() const { return m_renders; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_pixels;
    std::uint8_t m_opacity = 255;
    int m_renders = 0;
};

}  // namespace shadow
