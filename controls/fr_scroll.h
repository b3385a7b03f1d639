// frScroll: a flat vertical scroll bar. A track with a proportional thumb,
// an integer position Value from 0 to Max, dragging of the thumb, and one
// step per press on the track with a 300 ms auto-repeat while it is held.
// All five colours can be derived from one base colour (BackColor1).
//
// Outer size (Width, Height, the stored width and height) is in twips, 15
// per pixel; everything inside, the mouse coordinates included, in pixels.
#pragma once

#include "platform/property_store.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>

class frScroll : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kRepeatIntervalMs = 300;
    static constexpr int kMaxLimit = 32755;

    explicit frScroll(QWidget* parent = nullptr);

    // Twips. Setting clamps: width to 30..1200, height to 100..the screen's
    // height. The host's own placing of the control is not clamped.
    int Width() const;
    void SetWidth(int twips);
    int Height() const;
    void SetHeight(int twips);

    std::int16_t Value() const { return value_; }
    // Clamps to 0..Max, places the thumb and raises Change, also when the
    // value does not change.
    void SetValue(int value);
    std::int16_t Max() const { return max_; }
    // Clamps to 0..32755 and sizes the thumb; the value is not clamped to the
    // new maximum, except that a maximum of 0 sets it to 0 (with Change).
    void SetMax(int max);

    // OLE colours.
    std::uint32_t BorderColor1() const { return borderColor1_; }  // track outline
    void SetBorderColor1(std::uint32_t colour);
    std::uint32_t BorderColor2() const { return borderColor2_; }  // thumb outer outline
    void SetBorderColor2(std::uint32_t colour);
    std::uint32_t BorderColor3() const { return borderColor3_; }  // thumb inner outline
    void SetBorderColor3(std::uint32_t colour);
    std::uint32_t BackColor1() const { return backColor1_; }  // track
    // Sets the track colour and derives the four others from it.
    void SetBackColor1(std::uint32_t colour);
    std::uint32_t BackColor2() const { return backColor2_; }  // thumb
    void SetBackColor2(std::uint32_t colour);

    void ReadProperties(const platform::PropertyStore& store);
    void WriteProperties(platform::PropertyStore& store) const;

    // Geometry in pixels, as the control keeps it (the thumb window itself
    // sits at the nearest whole pixels).
    float stepHeight() const { return stepHeight_; }
    float thumbTop() const { return thumbTop_; }
    float thumbHeight() const { return stepHeight_; }
    bool dragging() const { return dragging_; }
    bool autoRepeatActive() const { return timer1_.isActive(); }
    QWidget* thumb() const;

public slots:
    // One tick of the auto-repeat timer: one step towards the press point.
    // Connected to the timer; tests call it directly to step without waiting.
    void Timer1Tick();

signals:
    void Change(int value);
    void MouseDown();
    void MouseUp();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    class Thumb;
    friend class Thumb;

    void layoutElements();
    void ensureLaidOut();
    void placeThumb();
    void setThumbTop(float top);
    void setTrackValue(int value);
    void thumbPressed(QMouseEvent* event);
    void thumbMoved(QMouseEvent* event);
    void thumbReleased(QMouseEvent* event);

    Thumb* thumb_ = nullptr;
    QTimer timer1_;

    std::int16_t value_ = 0;
    std::int16_t max_ = 0;
    float stepHeight_ = 0;
    QSize laidOutSize_;
    float thumbTop_ = 0;
    bool dragging_ = false;
    float grabOffset_ = 0;
    std::int16_t repeatDirection_ = 0;
    std::int16_t pressY_ = 0;

    std::uint32_t backColor1_ = 0x00003575u;
    std::uint32_t backColor2_ = 0x00004080u;
    std::uint32_t borderColor1_ = 0x00002B5Eu;
    std::uint32_t borderColor2_ = 0x00002B5Eu;
    std::uint32_t borderColor3_ = 0x000050A0u;
};
