// The hint icon of the empty photo panel: a fixed 128 x 128
// picture with a pointing-hand cursor and a tooltip. A click on it asks the
// host for a photo; drops on it fall through to the panel beneath.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace viewer {

class HintIcon : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSize = 128;
    // The fingertip of the hand cursor picture.
    static constexpr int kHotSpotX = 12;
    static constexpr int kHotSpotY = 4;

    explicit HintIcon(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap picture_;
    bool pressed_ = false;
};

}  // namespace viewer
