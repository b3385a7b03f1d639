#include "controls/flat_scroll_bar.h"

#include "controls/hls_colour.h"
#include "controls/stored_colour.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace viewer {
namespace {

constexpr int kRepeatIntervalMs = 300;
constexpr QSize kDefaultSize(17, 120);

// The store keeps the size in twips, 15 to the pixel at 96 dpi.
constexpr float kStoredUnitsPerPixel = 15;
constexpr float kDefaultStoredWidth = 255;
constexpr float kDefaultStoredHeight = 1800;
// Read defaults: system colours (active border, button face, button shadow,
// 3-D light, inactive border), unlike the built-in look.
constexpr std::uint32_t kDefaultTrack = 0x8000000Au;
constexpr std::uint32_t kDefaultThumb = 0x8000000Fu;
constexpr std::uint32_t kDefaultTrackBorder = 0x80000010u;
constexpr std::uint32_t kDefaultThumbBorder = 0x80000016u;
constexpr std::uint32_t kDefaultThumbInnerBorder = 0x8000000Bu;

// The system's rounding of reals: halves to the even neighbour (2.5 -> 2),
// which nearbyint does in the default rounding mode.
double roundHalfEven(double value) { return std::nearbyint(value); }

int pixelsFromStored(float stored) {
    if (!std::isfinite(stored)) return 0;
    return static_cast<int>(std::clamp(roundHalfEven(stored / kStoredUnitsPerPixel), 0.0,
                                       static_cast<double>(QWIDGETSIZE_MAX)));
}

// A 1-pixel outline on the rectangle's own pixels.
void drawOutline(QPainter& painter, const QRect& rect, const QColor& colour) {
    if (rect.isEmpty()) return;
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), colour);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), colour);
}

}  // namespace

FlatScrollBar::FlatScrollBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    repeat_.setInterval(kRepeatIntervalMs);
    connect(&repeat_, &QTimer::timeout, this, &FlatScrollBar::repeatStep);
    resize(kDefaultSize);
}

// The track holds maximum() + 1 positions of equal height.
float FlatScrollBar::stepHeight() const {
    return static_cast<float>(height()) / static_cast<float>(maximum_ + 1);
}

QRect FlatScrollBar::thumbRect() const {
    // A thumb thinner than half a pixel still shows as one pixel.
    const float step = stepHeight();
    int pixelHeight = static_cast<int>(roundHalfEven(step));
    if (step > 0) pixelHeight = std::max(pixelHeight, 1);
    const double limit = QWIDGETSIZE_MAX;
    const int top = static_cast<int>(std::clamp(roundHalfEven(thumbTop_), -limit, limit));
    return QRect(0, top, width(), pixelHeight);
}

void FlatScrollBar::setThumbTop(float top) {
    thumbTop_ = top;
    update();
}

void FlatScrollBar::setMaximum(int maximum) {
    maximum_ = std::clamp(maximum, 0, kMaximumLimit);
    update();
    if (maximum_ == 0) {
        value_ = 0;
        emit valueChanged(0);
    }
}

void FlatScrollBar::setValue(int value) {
    value_ = std::clamp(value, 0, maximum_);
    setThumbTop(static_cast<float>(value_) * stepHeight());
    emit valueChanged(value_);
}

void FlatScrollBar::setTrackColor(const QColor& colour) {
    trackColor_ = colour;
    update();
    const HlsColour hls = toHls(colour);
    setThumbColor(fromHls(hls.hue, hls.luminance + 10, hls.saturation));
    setTrackBorderColor(fromHls(hls.hue, hls.luminance - 10, hls.saturation));
    setThumbBorderColor(fromHls(hls.hue, hls.luminance + 20, hls.saturation));
    setThumbInnerBorderColor(fromHls(hls.hue, hls.luminance + 40, hls.saturation - 20));
}

void FlatScrollBar::setThumbColor(const QColor& colour) {
    thumbColor_ = colour;
    update();
}

void FlatScrollBar::setTrackBorderColor(const QColor& colour) {
    trackBorderColor_ = colour;
    update();
}

void FlatScrollBar::setThumbBorderColor(const QColor& colour) {
    thumbBorderColor_ = colour;
    update();
}

void FlatScrollBar::setThumbInnerBorderColor(const QColor& colour) {
    thumbInnerBorderColor_ = colour;
    update();
}

void FlatScrollBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), trackColor_);
    drawOutline(painter, rect(), trackBorderColor_);
    // The thumb lies over the track's outline.
    const QRect thumb = thumbRect();
    painter.fillRect(thumb, thumbColor_);
    drawOutline(painter, thumb, thumbBorderColor_);
    drawOutline(painter, thumb.adjusted(1, 1, -1, -1), thumbInnerBorderColor_);
}

// While a button is held, the part it was pressed on gets the moves and the
// releases, wherever the pointer goes.
void FlatScrollBar::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (pressed_ == Part::None) {
        pressed_ = thumbRect().contains(event->position().toPoint()) ? Part::Thumb : Part::Track;
    }
    if (pressed_ == Part::Thumb) thumbPressed(event);
    else pressTrack(event);
}

void FlatScrollBar::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (pressed_ == Part::Thumb) thumbMoved(event);
}

void FlatScrollBar::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const Part part = pressed_;
    if (event->buttons() == Qt::NoButton) pressed_ = Part::None;
    if (part == Part::Thumb) thumbReleased();
    else if (part == Part::Track) releaseTrack(event);
}

// The double-click notification takes the place of the second press; like
// the platform's own controls, the scroll bar does nothing for it.
void FlatScrollBar::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

// The thumb's events count from its own top edge on screen.
void FlatScrollBar::thumbPressed(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    grabOffset_ = static_cast<float>(event->position().y() - thumbRect().top());
}

void FlatScrollBar::thumbMoved(QMouseEvent* event) {
    if (!dragging_) return;
    const double y = event->position().y() - thumbRect().top();
    const float step = stepHeight();
    // The grab point stays under the pointer, in whole pixels on the track.
    double top = roundHalfEven(y - grabOffset_ + thumbTop_);
    if (top < 0) top = 0;
    const double lowest = static_cast<double>(height()) - step;
    if (top > lowest) top = roundHalfEven(lowest);
    setThumbTop(static_cast<float>(top));

    // The drag divides by the rounded step, so near the bottom it may report
    // one more than maximum(); the release reconciles. Below half a pixel the
    // rounded step is 0: the real step maps the whole track onto the range.
    const double roundedStep = roundHalfEven(step);
    double value = 0;
    if (roundedStep >= 1) value = std::floor(top / roundedStep);
    else if (step > 0)
        value = std::clamp(std::floor(top / step), 0.0, static_cast<double>(maximum_));
    if (static_cast<int>(value) != value_) {
        value_ = static_cast<int>(value);
        emit valueChanged(value_);
    }
}

void FlatScrollBar::thumbReleased() {
    if (!dragging_) return;
    dragging_ = false;
    // Snap to the nearest position. A thumb left beyond the track by a
    // smaller maximum or a resize would give a value above it: keep it in range.
    const float step = stepHeight();
    double value = step > 0 ? std::floor(thumbTop_ / step + 0.5) : 0;
    value = std::clamp(value, 0.0, static_cast<double>(maximum_));
    setThumbTop(static_cast<float>(value) * step);
    if (static_cast<int>(value) != value_) {
        value_ = static_cast<int>(value);
        emit valueChanged(value_);
    }
}

void FlatScrollBar::pressTrack(QMouseEvent* event) {
    emit trackPressed();
    const double y = event->position().y();
    repeatDirection_ = y > thumbTop_ ? 1 : -1;
    pressY_ = static_cast<int>(roundHalfEven(y));
    repeat_.start();
}

void FlatScrollBar::repeatStep() {
    // Tested against the thumb before the step, so the thumb stops at the
    // first position that covers the press point, or at the end of the
    // track. A stored value outside the range counts as at the end.
    const float step = stepHeight();
    if (repeatDirection_ > 0 && value_ < maximum_ && thumbTop_ + step <= pressY_) {
        ++value_;
    } else if (repeatDirection_ < 0 && value_ > 0 && pressY_ <= thumbTop_) {
        --value_;
    } else {
        repeat_.stop();
        return;
    }
    setThumbTop(static_cast<float>(value_) * step);
    emit valueChanged(value_);
}

void FlatScrollBar::releaseTrack(QMouseEvent* event) {
    repeat_.stop();
    const double y = event->position().y();
    int value = value_;
    if (y > thumbTop_ + stepHeight()) ++value;
    else if (y < thumbTop_) --value;
    else return;  // on the thumb's span: no step, nothing emitted
    value_ = std::clamp(value, 0, maximum_);
    setThumbTop(static_cast<float>(value_) * stepHeight());
    emit trackReleased();
    emit valueChanged(value_);
}

void FlatScrollBar::readProperties(const platform::PropertyStore& store) {
    // The stored size is the host's placing: not clamped.
    resize(pixelsFromStored(store.readSingle(QStringLiteral("width"), kDefaultStoredWidth)),
           pixelsFromStored(store.readSingle(QStringLiteral("height"), kDefaultStoredHeight)));
    value_ = store.readInteger(QStringLiteral("value"), 0);  // no clamp, no thumb move, no signal
    setMaximum(store.readInteger(QStringLiteral("max"), 0));
    trackColor_ = readStoredColour(store, QStringLiteral("backColor1"), kDefaultTrack);
    thumbColor_ = readStoredColour(store, QStringLiteral("backColor2"), kDefaultThumb);
    trackBorderColor_ =
        readStoredColour(store, QStringLiteral("borderColor1"), kDefaultTrackBorder);
    thumbBorderColor_ =
        readStoredColour(store, QStringLiteral("borderColor2"), kDefaultThumbBorder);
    thumbInnerBorderColor_ =
        readStoredColour(store, QStringLiteral("borderColor3"), kDefaultThumbInnerBorder);
    update();
}

void FlatScrollBar::writeProperties(platform::PropertyStore& store) const {
    store.writeSingle(QStringLiteral("width"), static_cast<float>(width()) * kStoredUnitsPerPixel,
                      kDefaultStoredWidth);
    store.writeSingle(QStringLiteral("height"), static_cast<float>(height()) * kStoredUnitsPerPixel,
                      kDefaultStoredHeight);
    store.writeInteger(QStringLiteral("max"), static_cast<std::int16_t>(maximum_), 0);
    store.writeInteger(QStringLiteral("value"), static_cast<std::int16_t>(value_), 0);
    writeStoredColour(store, QStringLiteral("backColor1"), trackColor_, kDefaultTrack);
    writeStoredColour(store, QStringLiteral("backColor2"), thumbColor_, kDefaultThumb);
    writeStoredColour(store, QStringLiteral("borderColor1"), trackBorderColor_,
                      kDefaultTrackBorder);
    writeStoredColour(store, QStringLiteral("borderColor2"), thumbBorderColor_,
                      kDefaultThumbBorder);
    writeStoredColour(store, QStringLiteral("borderColor3"), thumbInnerBorderColor_,
                      kDefaultThumbInnerBorder);
}

}  // namespace viewer
