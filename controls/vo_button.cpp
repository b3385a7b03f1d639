#include "controls/vo_button.h"

#include "platform/runtime.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace {

// Keys of the stored properties, and their defaults.
const QString kKeyEnabled = QStringLiteral("Enabled");
const QString kKeyCaption = QStringLiteral("Caption");
const QString kKeyPictureNormal = QStringLiteral("PictureNormal");
const QString kKeyPictureHot = QStringLiteral("PictureHot");
const QString kKeyPictureDown = QStringLiteral("PictureDown");
const QString kKeyPictureFalse = QStringLiteral("PictureFalse");
const QString kKeyColor = QStringLiteral("Color");
const QString kKeyColorHot = QStringLiteral("ColorHot");
const QString kKeyColorDown = QStringLiteral("ColorDown");
const QString kKeyBorderColor = QStringLiteral("BorderColor");
const QString kKeyCaptionColor = QStringLiteral("CaptionColor");
const QString kKeyBorderWidth = QStringLiteral("BorderWidth");

const QString kDefaultCaption = QStringLiteral("按钮");
constexpr std::int32_t kDefaultFace = static_cast<std::int32_t>(voButton::kButtonFace);
// The frame of style 1 is drawn in the platform's window-frame colour.
constexpr std::uint32_t kWindowFrame = 0x80000006u;

// Tahoma 8.25 pt is 11 pixels at the 96 dpi the forms were laid out for;
// where Tahoma is not installed the default face takes its place.
QFont CaptionFont() {
    const QString tahoma = QStringLiteral("Tahoma");
    QFont font = QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive)
                     ? QFont(tahoma)
                     : QFont(QGuiApplication::font().family());
    font.setPixelSize(11);
    return font;
}

std::int32_t Long(std::uint32_t colour) { return static_cast<std::int32_t>(colour); }
std::uint32_t Colour(std::int32_t stored) { return static_cast<std::uint32_t>(stored); }

}  // namespace

voButton::voButton(QWidget* parent) : QWidget(parent), caption_(kDefaultCaption) {
    setMouseTracking(true);  // moves without a pressed button decide hot and normal
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize voButton::sizeHint() const {
    if (!pictureNormal_.isNull()) return pictureNormal_.pixmap().size() + QSize(2, 2) * frameWidth();
    return QSize(82, 80);
}

void voButton::SetPictureNormal(const platform::Picture& picture) {
    pictureNormal_ = picture;
    emit PropertyChanged(kKeyPictureNormal);
    Redraw();
}

void voButton::SetNotBorder(bool notBorder) {
    frameStyle_ = notBorder ? 1 : 0;
    surface_ = QImage();  // the inner size changes with the frame
    update();
}

void voButton::SetEnabled(bool enabled) {
    enabled_ = enabled;
    drawState_ = enabled ? StateNormal : StateDisabled;
    Redraw();
    if (!enabled) {
        pointerInside_ = false;
        // A disabled button ignores the pointer, so it must not keep it:
        // every other control of the window would go deaf.
        releasePointer();
    }
}

QSize voButton::innerSize() const {
    const int frame = frameWidth();
    return QSize(std::max(0, width() - 2 * frame), std::max(0, height() - 2 * frame));
}

void voButton::paintSurface() {
    const QSize inner = innerSize();
    if (surface_.size() != inner) surface_ = QImage(inner, QImage::Format_RGB32);
    if (surface_.isNull()) return;

    std::uint32_t background = colorFalse_;
    const platform::Picture* picture = &pictureFalse_;
    switch (drawState_) {
    case StateNormal:
        background = color_;
        picture = &pictureNormal_;
        break;
    case StateHot:
        background = colorHot_;
        picture = &pictureHot_;
        break;
    case StateDown:
        background = colorDown_;
        picture = &pictureDown_;
        break;
    default:
        break;
    }
    if (picture->isNull()) picture = &pictureNormal_;

    QPainter painter(&surface_);
    surface_.fill(platform::ToQColor(background));
    if (!picture->isNull()) painter.drawPixmap(0, 0, picture->pixmap());

    if (frameStyle_ == 1 && borderWidth_ > 0) {
        // Outline from (0, 0) to (inner - w, inner - w), each side w pixels
        // wide and hanging right and down from its line: the whole border
        // lies inside the button.
        const int w = borderWidth_;
        const int right = inner.width() - w;
        const int bottom = inner.height() - w;
        const QColor colour = platform::ToQColor(borderColor_);
        painter.fillRect(QRect(0, 0, right + w, w), colour);
        painter.fillRect(QRect(0, bottom, right + w, w), colour);
        painter.fillRect(QRect(0, 0, w, bottom + w), colour);
        painter.fillRect(QRect(right, 0, w, bottom + w), colour);
    }

    if (!caption_.isEmpty()) {
        const QFont font = CaptionFont();
        const QFontMetricsF metrics(font, &surface_);
        const qreal x = (inner.width() - metrics.horizontalAdvance(caption_)) / 2;
        const qreal y = (inner.height() - metrics.height()) / 2;
        painter.setFont(font);
        painter.setPen(platform::ToQColor(captionColor_));
        painter.drawText(QPointF(x, y + metrics.ascent()), caption_);
    }
}

void voButton::Redraw() {
    paintSurface();
    update();
}

void voButton::paintEvent(QPaintEvent*) {
    paintSurface();
    QPainter painter(this);
    const int frame = frameWidth();
    if (frame > 0) {
        painter.setPen(platform::ToQColor(kWindowFrame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.drawImage(frame, frame, surface_);
}

void voButton::resizeEvent(QResizeEvent*) { surface_ = QImage(); }

void voButton::capturePointer() {
    if (isVisible()) grabMouse();
}

void voButton::releasePointer() {
    if (QWidget::mouseGrabber() == this) releaseMouse();
}

void voButton::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!enabled_) return;
    // Coordinates of the inner area; the test is against the outer size with
    // both ends included, as the platform measured it.
    const QPointF at = event->position() - QPointF(frameWidth(), frameWidth());
    const bool inside = at.x() >= 0 && at.x() <= width() && at.y() >= 0 && at.y() <= height();
    if (inside) {
        if (!pointerInside_) {
            drawState_ = StateHot;
            Redraw();
            capturePointer();
            pointerInside_ = true;
            emit MouseEnter();
        }
        return;
    }
    // Only a real leave is reported: while a press that left the button is
    // held, its further moves outside arrive here too, and each would
    // otherwise raise another MouseLeave.
    if (!pointerInside_ && drawState_ == StateNormal) return;
    drawState_ = StateNormal;
    Redraw();
    releasePointer();
    pointerInside_ = false;
    emit MouseLeave();
}

void voButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (!enabled_) return;
    drawState_ = StateDown;
    Redraw();
}

void voButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (!enabled_ || drawState_ != StateDown) return;
    drawState_ = StateHot;
    Redraw();
    capturePointer();
    QPointer<voButton> alive(this);
    emit Click();
    if (!alive) return;  // the host's handler may have closed the window
    pointerInside_ = false;
}

// The platform's double-click notification takes the place of the second
// press; the button does not react to it, so a double click is one Click.
void voButton::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void voButton::ReadProperties(const platform::PropertyStore& store) {
    enabled_ = store.readBoolean(kKeyEnabled, true);
    caption_ = store.readString(kKeyCaption, kDefaultCaption);
    pictureNormal_ = platform::Picture(store.readPicture(kKeyPictureNormal));
    pictureHot_ = platform::Picture(store.readPicture(kKeyPictureHot));
    pictureDown_ = platform::Picture(store.readPicture(kKeyPictureDown));
    pictureFalse_ = platform::Picture(store.readPicture(kKeyPictureFalse));
    color_ = Colour(store.readLong(kKeyColor, kDefaultFace));
    colorHot_ = Colour(store.readLong(kKeyColorHot, kDefaultFace));
    colorDown_ = Colour(store.readLong(kKeyColorDown, kDefaultFace));
    borderColor_ = Colour(store.readLong(kKeyBorderColor, 0));
    borderWidth_ = store.readInteger(kKeyBorderWidth, 1);
    captionColor_ = Colour(store.readLong(kKeyCaptionColor, 0));
    colorFalse_ = 0;
    SetNotBorder(false);
    Redraw();
}

void voButton::WriteProperties(platform::PropertyStore& store) const {
    store.writeBoolean(kKeyEnabled, enabled_, true);
    store.writeString(kKeyCaption, caption_, kDefaultCaption);
    store.writePicture(kKeyPictureNormal, pictureNormal_.source());
    store.writePicture(kKeyPictureHot, pictureHot_.source());
    store.writePicture(kKeyPictureDown, pictureDown_.source());
    store.writePicture(kKeyPictureFalse, pictureFalse_.source());
    store.writeLong(kKeyColor, Long(color_), kDefaultFace);
    store.writeLong(kKeyColorHot, Long(colorHot_), kDefaultFace);
    store.writeLong(kKeyColorDown, Long(colorDown_), kDefaultFace);
    store.writeLong(kKeyBorderColor, Long(borderColor_), 0);
    store.writeLong(kKeyCaptionColor, Long(captionColor_), 0);
    store.writeInteger(kKeyBorderWidth, borderWidth_, 1);
}
