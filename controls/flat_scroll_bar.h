// A flat vertical scroll bar: a track with a thumb one position high, a value
// from 0 to maximum(), dragging of the thumb, and one step per press on the
// track with a 300 ms auto-repeat while it is held. All five colours can be
// derived from the track's (setTrackColor).
#pragma once

#include "platform/property_store.h"

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace viewer {

class FlatScrollBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaximumLimit = 32755;

    explicit FlatScrollBar(QWidget* parent = nullptr);

    int value() const { return value_; }
    // Clamps to 0 to maximum(), places the thumb and emits valueChanged, also
    // when the value stays the same.
    void setValue(int value);
    int maximum() const { return maximum_; }
    // Clamps to 0 to kMaximumLimit and sizes the thumb. The value and the
    // thumb's place wait for the next setValue, except that a maximum of 0
    // sets the value to 0 (with valueChanged).
    void setMaximum(int maximum);

    QColor trackColor() const { return trackColor_; }
    // Sets the track's colour and derives the four others from it.
    void setTrackColor(const QColor& colour);
    QColor thumbColor() const { return thumbColor_; }
    void setThumbColor(const QColor& colour);
    QColor trackBorderColor() const { return trackBorderColor_; }
    void setTrackBorderColor(const QColor& colour);
    QColor thumbBorderColor() const { return thumbBorderColor_; }
    void setThumbBorderColor(const QColor& colour);
    QColor thumbInnerBorderColor() const { return thumbInnerBorderColor_; }
    void setThumbInnerBorderColor(const QColor& colour);

    // The values kept for the scroll bar of a window (":/design/<window>.json"),
    // under their keys and defaults. A stored value is taken as it is, even
    // outside 0 to maximum().
    void readProperties(const platform::PropertyStore& store);
    void writeProperties(platform::PropertyStore& store) const;

    // Pixels per position, which is also the thumb's height.
    float stepHeight() const;
    // Where the thumb is, in fractions of a pixel, and the whole pixels it
    // covers on screen.
    float thumbTop() const { return thumbTop_; }
    QRect thumbRect() const;
    bool isDragging() const { return dragging_; }
    bool isRepeating() const { return repeat_.isActive(); }

public slots:
    // One step of the auto-repeat towards the press point; the timer calls it.
    void repeatStep();

signals:
    void valueChanged(int value);
    // A press on the track (not on the thumb).
    void trackPressed();
    // A release of a track press that steps the value, just before its valueChanged.
    void trackReleased();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class Part { None, Thumb, Track };

    void setThumbTop(float top);
    void thumbPressed(QMouseEvent* event);
    void thumbMoved(QMouseEvent* event);
    void thumbReleased();
    void pressTrack(QMouseEvent* event);
    void releaseTrack(QMouseEvent* event);

    QTimer repeat_;
    int value_ = 0;
    int maximum_ = 0;
    float thumbTop_ = 0;
    Part pressed_ = Part::None;  // which part holds the pointer while a button is down
    bool dragging_ = false;
    float grabOffset_ = 0;     // where in the thumb the drag took hold
    int repeatDirection_ = 0;  // +1 towards larger values (down), -1 up
    int pressY_ = 0;

    QColor trackColor_{0x75, 0x35, 0x00};
    QColor thumbColor_{0x80, 0x40, 0x00};
    QColor trackBorderColor_{0x5E, 0x2B, 0x00};
    QColor thumbBorderColor_{0x5E, 0x2B, 0x00};
    QColor thumbInnerBorderColor_{0xA0, 0x50, 0x00};
};

}  // namespace viewer
