#include "controls/fr_scroll.h"

#include "platform/mgdip.h"
#include "platform/runtime.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Keys of the stored properties. The thumb colour is written as "backColor2"
// and read as "backcolor2": the same entry, since keys ignore case.
const QString kKeyWidth = QStringLiteral("width");
const QString kKeyHeight = QStringLiteral("height");
const QString kKeyMax = QStringLiteral("max");
const QString kKeyValue = QStringLiteral("value");
const QString kKeyBackColor1 = QStringLiteral("backColor1");
const QString kKeyBackColor2Written = QStringLiteral("backColor2");
const QString kKeyBackColor2Read = QStringLiteral("backcolor2");
const QString kKeyBorderColor1 = QStringLiteral("borderColor1");
const QString kKeyBorderColor2 = QStringLiteral("borderColor2");
const QString kKeyBorderColor3 = QStringLiteral("borderColor3");

constexpr float kDefaultWidthTwips = 255;
constexpr float kDefaultHeightTwips = 1800;
// Read defaults: system colours (active border, button face, button shadow,
// 3-D light, inactive border).
constexpr std::uint32_t kDefaultBackColor1 = 0x8000000Au;
constexpr std::uint32_t kDefaultBackColor2 = 0x8000000Fu;
constexpr std::uint32_t kDefaultBorderColor1 = 0x80000010u;
constexpr std::uint32_t kDefaultBorderColor2 = 0x80000016u;
constexpr std::uint32_t kDefaultBorderColor3 = 0x8000000Bu;

int PixelsFromTwips(double twips) {
    if (!std::isfinite(twips)) return 0;
    const double pixels = mGdip::RoundHalfEven(twips / frScroll::kTwipsPerPixel);
    return static_cast<int>(std::clamp(pixels, 0.0, static_cast<double>(QWIDGETSIZE_MAX)));
}

std::int16_t ToInt16(double value) {
    return static_cast<std::int16_t>(std::clamp(value, static_cast<double>(INT16_MIN),
                                                static_cast<double>(INT16_MAX)));
}

// A 1-pixel rectangle outline covering columns left..left+width-1 and rows
// top..top+height-1, as the platform's shapes draw it.
void DrawOutline(QPainter& painter, int left, int top, int width, int height,
                 std::uint32_t colour) {
    if (width <= 0 || height <= 0) return;
    const QColor c = platform::ToQColor(colour);
    painter.fillRect(QRect(left, top, width, 1), c);
    painter.fillRect(QRect(left, top + height - 1, width, 1), c);
    painter.fillRect(QRect(left, top, 1, height), c);
    painter.fillRect(QRect(left + width - 1, top, 1, height), c);
}

std::int32_t Long(std::uint32_t colour) { return static_cast<std::int32_t>(colour); }
std::uint32_t Colour(std::int32_t stored) { return static_cast<std::uint32_t>(stored); }

}  // namespace

// The thumb window (Picture1) with its two outlines (Shape4 outside, Shape1
// inside). Its mouse events are the drag; a press on it never reaches the
// track behind it.
class frScroll::Thumb : public QWidget {
public:
    explicit Thumb(frScroll* scroll) : QWidget(scroll), scroll_(scroll) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), platform::ToQColor(scroll_->backColor2_));
        DrawOutline(painter, 0, 0, width(), height(), scroll_->borderColor2_);
        DrawOutline(painter, 1, 1, width() - 2, height() - 2, scroll_->borderColor3_);
    }
    void mousePressEvent(QMouseEvent* event) override {
        event->accept();
        scroll_->thumbPressed(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        event->accept();
        scroll_->thumbMoved(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        event->accept();
        scroll_->thumbReleased(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }

private:
    frScroll* scroll_;
};

frScroll::frScroll(QWidget* parent) : QWidget(parent), thumb_(new Thumb(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer1_.setInterval(kRepeatIntervalMs);
    connect(&timer1_, &QTimer::timeout, this, &frScroll::Timer1Tick);
    thumb_->move(0, 0);
    resize(PixelsFromTwips(kDefaultWidthTwips), PixelsFromTwips(kDefaultHeightTwips));
    layoutElements();
}

QWidget* frScroll::thumb() const { return thumb_; }

int frScroll::Width() const { return width() * kTwipsPerPixel; }

void frScroll::SetWidth(int twips) {
    resize(PixelsFromTwips(std::clamp(twips, 30, 1200)), height());
    ensureLaidOut();
}

int frScroll::Height() const { return height() * kTwipsPerPixel; }

void frScroll::SetHeight(int twips) {
    twips = std::max(twips, 100);
    if (const QScreen* s = screen()) twips = std::min(twips, s->geometry().height() * kTwipsPerPixel);
    resize(width(), PixelsFromTwips(twips));
    ensureLaidOut();
}

void frScroll::setThumbTop(float top) {
    thumbTop_ = top;
    placeThumb();
}

void frScroll::placeThumb() {
    // A thumb thinner than half a pixel still shows as one pixel.
    int pixelHeight = static_cast<int>(mGdip::RoundHalfEven(stepHeight_));
    if (stepHeight_ > 0) pixelHeight = std::max(pixelHeight, 1);
    const double top = std::clamp(mGdip::RoundHalfEven(thumbTop_), -double(QWIDGETSIZE_MAX), double(QWIDGETSIZE_MAX));
    thumb_->setGeometry(0, static_cast<int>(top), width(), pixelHeight);
}

void frScroll::layoutElements() {
    laidOutSize_ = size();
    stepHeight_ = static_cast<float>(height()) / static_cast<float>(max_ + 1);
    placeThumb();
    update();
}

void frScroll::resizeEvent(QResizeEvent*) { layoutElements(); }

// A hidden widget gets its resize event only when it is shown; the layout
// must not wait for that, since a host sets Max and Value before showing.
void frScroll::ensureLaidOut() {
    if (laidOutSize_ != size()) layoutElements();
}

void frScroll::SetMax(int max) {
    ensureLaidOut();
    max_ = static_cast<std::int16_t>(std::clamp(max, 0, kMaxLimit));
    stepHeight_ = static_cast<float>(height()) / static_cast<float>(max_ + 1);
    placeThumb();
    if (max_ == 0) {
        value_ = 0;
        emit Change(0);
    }
}

void frScroll::SetValue(int value) {
    ensureLaidOut();
    value_ = static_cast<std::int16_t>(std::clamp(value, 0, static_cast<int>(max_)));
    setThumbTop(static_cast<float>(value_) * stepHeight_);
    emit Change(value_);
}

void frScroll::SetBorderColor1(std::uint32_t colour) {
    borderColor1_ = colour;
    update();
}

void frScroll::SetBorderColor2(std::uint32_t colour) {
    borderColor2_ = colour;
    thumb_->update();
}

void frScroll::SetBorderColor3(std::uint32_t colour) {
    borderColor3_ = colour;
    thumb_->update();
}

void frScroll::SetBackColor2(std::uint32_t colour) {
    backColor2_ = colour;
    thumb_->update();
}

void frScroll::SetBackColor1(std::uint32_t colour) {
    backColor1_ = colour;
    update();
    // A system colour is taken byte by byte, as if it were an RGB colour.
    const auto rgb = mGdip::SplitRGB(colour);
    const mGdip::HLSColor hls = mGdip::RGBToHLS(rgb[0], rgb[1], rgb[2]);
    const std::int32_t h = hls.Hue, s = hls.Saturation, l = hls.Luminance;
    SetBackColor2(mGdip::HLSToRGB(h, s, l + 10));
    SetBorderColor1(mGdip::HLSToRGB(h, s, l - 10));
    SetBorderColor2(mGdip::HLSToRGB(h, s, l + 20));
    SetBorderColor3(mGdip::HLSToRGB(h, s - 20, l + 40));
}

void frScroll::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), platform::ToQColor(backColor1_));
    DrawOutline(painter, 0, 0, width(), height(), borderColor1_);
}

void frScroll::thumbPressed(QMouseEvent* event) {
    ensureLaidOut();
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    grabOffset_ = static_cast<float>(event->position().y());
}

void frScroll::thumbMoved(QMouseEvent* event) {
    ensureLaidOut();
    if (!dragging_) return;
    double n = mGdip::RoundHalfEven(event->position().y() - grabOffset_ + thumbTop_);
    if (n < 0) n = 0;
    const double lowest = static_cast<double>(height()) - stepHeight_;
    if (n > lowest) n = mGdip::RoundHalfEven(lowest);
    setThumbTop(static_cast<float>(n));

    // The drag divides by the rounded step, so it may report one more than
    // Max near the bottom; the release reconciles. Below half a pixel the
    // rounded step is 0: the position is divided by the real step instead,
    // which maps the whole track onto 0..Max.
    const double roundedStep = mGdip::RoundHalfEven(stepHeight_);
    double v = 0;
    if (roundedStep >= 1) v = std::floor(n / roundedStep);
    else if (stepHeight_ > 0) v = std::clamp(std::floor(n / stepHeight_), 0.0, double(max_));
    const std::int16_t value = ToInt16(v);
    if (value != value_) {
        value_ = value;
        emit Change(value_);
    }
}

void frScroll::thumbReleased(QMouseEvent*) {
    ensureLaidOut();
    if (!dragging_) return;
    dragging_ = false;
    // Snap to the nearest position. A thumb left beyond the track by a
    // smaller Max or a resize would give a value above Max: keep it in range.
    double v = stepHeight_ > 0 ? std::floor(thumbTop_ / stepHeight_ + 0.5) : 0;
    v = std::clamp(v, 0.0, static_cast<double>(max_));
    const auto value = static_cast<std::int16_t>(v);
    setThumbTop(static_cast<float>(value) * stepHeight_);
    if (value != value_) {
        value_ = value;
        emit Change(value_);
    }
}

void frScroll::mousePressEvent(QMouseEvent* event) {
    ensureLaidOut();
    event->accept();
    emit MouseDown();
    const double y = event->position().y();
    repeatDirection_ = y > thumbTop_ ? 1 : -1;
    pressY_ = ToInt16(mGdip::RoundHalfEven(y));
    timer1_.start();
}

void frScroll::Timer1Tick() {
    ensureLaidOut();
    // Tested against the thumb before the step, so the thumb stops at the
    // first position that covers the press point, or at the end of the track.
    // A value outside 0..Max (read from a store) counts as at the end.
    if (repeatDirection_ > 0) {
        if (value_ >= max_ || thumbTop_ + stepHeight_ > pressY_) {
            timer1_.stop();
            return;
        }
        ++value_;
    } else if (repeatDirection_ < 0) {
        if (value_ <= 0 || pressY_ > thumbTop_) {
            timer1_.stop();
            return;
        }
        --value_;
    } else {
        timer1_.stop();
        return;
    }
    setThumbTop(static_cast<float>(value_) * stepHeight_);
    emit Change(value_);
}

void frScroll::setTrackValue(int value) {
    value_ = static_cast<std::int16_t>(std::clamp(value, 0, static_cast<int>(max_)));
    setThumbTop(static_cast<float>(value_) * stepHeight_);
}

void frScroll::mouseReleaseEvent(QMouseEvent* event) {
    ensureLaidOut();
    event->accept();
    timer1_.stop();
    const double y = event->position().y();
    if (y > thumbTop_ + stepHeight_) setTrackValue(value_ + 1);
    else if (y < thumbTop_) setTrackValue(value_ - 1);
    else return;  // on the thumb's span: no step, no event
    emit MouseUp();
    emit Change(value_);
}

// The double-click notification takes the place of the second press; like
// the platform's controls, the track raises nothing for it.
void frScroll::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void frScroll::ReadProperties(const platform::PropertyStore& store) {
    // Size set directly, not through Width and Height: not clamped.
    const float widthTwips = store.readSingle(kKeyWidth, kDefaultWidthTwips);
    const float heightTwips = store.readSingle(kKeyHeight, kDefaultHeightTwips);
    resize(PixelsFromTwips(widthTwips), PixelsFromTwips(heightTwips));
    ensureLaidOut();
    value_ = store.readInteger(kKeyValue, 0);  // as stored: no clamp, no thumb move, no event
    SetMax(store.readInteger(kKeyMax, 0));
    backColor1_ = Colour(store.readLong(kKeyBackColor1, Long(kDefaultBackColor1)));
    backColor2_ = Colour(store.readLong(kKeyBackColor2Read, Long(kDefaultBackColor2)));
    borderColor1_ = Colour(store.readLong(kKeyBorderColor1, Long(kDefaultBorderColor1)));
    borderColor2_ = Colour(store.readLong(kKeyBorderColor2, Long(kDefaultBorderColor2)));
    borderColor3_ = Colour(store.readLong(kKeyBorderColor3, Long(kDefaultBorderColor3)));
    update();
    thumb_->update();
}

void frScroll::WriteProperties(platform::PropertyStore& store) const {
    store.writeSingle(kKeyWidth, static_cast<float>(Width()), kDefaultWidthTwips);
    store.writeSingle(kKeyHeight, static_cast<float>(Height()), kDefaultHeightTwips);
    store.writeInteger(kKeyMax, max_, 0);
    store.writeInteger(kKeyValue, value_, 0);
    store.writeLong(kKeyBackColor1, Long(backColor1_), Long(kDefaultBackColor1));
    store.writeLong(kKeyBackColor2Written, Long(backColor2_), Long(kDefaultBackColor2));
    store.writeLong(kKeyBorderColor1, Long(borderColor1_), Long(kDefaultBorderColor1));
    store.writeLong(kKeyBorderColor2, Long(borderColor2_), Long(kDefaultBorderColor2));
    store.writeLong(kKeyBorderColor3, Long(borderColor3_), Long(kDefaultBorderColor3));
}
