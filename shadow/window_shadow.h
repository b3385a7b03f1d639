// A soft drop shadow around a borderless top-level window: four translucent,
// click-through strip windows against its edges that follow it. An event
// filter on the window moves, redraws, shows and hides them.
#pragma once

#include "shadow/shadow_strips.h"
#include "shadow/strip_window.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <array>
#include <functional>

namespace viewer {

class WindowShadow : public QObject {
    Q_OBJECT
public:
    explicit WindowShadow(QObject* parent = nullptr);
    ~WindowShadow() override;

    // A change redraws every strip, while the window is shown.
    QColor color() const { return color_; }
    void setColor(const QColor& colour);  // its alpha is not used
    int depth() const { return depth_; }  // pixels each strip reaches out
    void setDepth(int depth);             // below 1 keeps the depth it has
    int opacity() const { return opacity_; }
    void setOpacity(int opacity);  // over the whole shadow: 255 as drawn, 0 invisible

    // Puts the shadow around `window`, which it follows from its next move,
    // resize or show. False when the display cannot show translucent windows
    // (the window then simply has none), and on misuse: no window, or a second
    // window for one shadow, which is reported in the event log and a box.
    bool attach(QWidget* window);

    bool supported() const { return supported_; }
    bool stripsShown() const { return stripsShown_; }
    StripWindow* strip(StripSide side) const;

    // Replaces the display check (tests take the supported road offscreen);
    // an empty function restores the real one. Asked when a shadow is made
    // and when the displays or the theme change.
    static void setTranslucencyProbe(std::function<bool()> probe);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reportMisuse(const QString& text) const;
    void watchDisplays();
    void displayChanged();
    void detectSupport();
    void createStrips();
    void destroyStrips();
    void renderStrip(StripSide side);
    void renderAll();
    void place();
    void showStrips(bool shown, bool forced);
    bool windowVisible() const;
    QRect windowRect() const;

    QColor color_ = Qt::black;
    int depth_ = 7;
    int opacity_ = 140;
    bool supported_ = false;
    bool bound_ = false;  // stays true when the window goes: one window per shadow
    bool stripsShown_ = false;
    // The window's width the bottom and top strips were drawn for, and its
    // height the right and left strips were drawn for.
    QSize renderedFor_;
    QPointer<QWidget> window_;
    std::array<QPointer<StripWindow>, 4> strips_;  // in StripSide order
};

}  // namespace viewer
