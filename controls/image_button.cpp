#include "controls/image_button.h"

#include "controls/stored_colour.h"
#include "platform/colours.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace viewer {
namespace {

const QString kDefaultCaption = QStringLiteral("按钮");
constexpr std::uint32_t kButtonFace = 0x8000000Fu;  // the system colour of button faces

// Tahoma 8.25 pt is 11 pixels at the 96 dpi the window was laid out for;
// where Tahoma is not installed the default face takes its place.
QFont captionFont() {
    const QString tahoma = QStringLiteral("Tahoma");
    QFont font = QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive)
                     ? QFont(tahoma)
                     : QFont(QGuiApplication::font().family());
    font.setPixelSize(11);
    return font;
}

// The pictures' keys, in Look order.
const std::array<QString, 4> kPictureKeys = {
    QStringLiteral("PictureNormal"), QStringLiteral("PictureHot"), QStringLiteral("PictureDown"),
    QStringLiteral("PictureFalse")};

}  // namespace

ImageButton::ImageButton(QWidget* parent) : QWidget(parent), caption_(kDefaultCaption) {
    setMouseTracking(true);  // moves without a pressed button decide hot and normal
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A disabled button still takes the pointer's events, so that a press on
    // it never reaches the window beneath (which would start dragging).
    setAttribute(Qt::WA_NoMousePropagation);
    const QColor face = platform::toQColor(kButtonFace);
    for (Look look : {Look::Normal, Look::Hot, Look::Pressed}) this->face(look).background = face;
    this->face(Look::Disabled).background = Qt::black;
}

QSize ImageButton::sizeHint() const {
    const QPixmap& normal = face(Look::Normal).picture;
    if (normal.isNull()) return QSize(82, 80);
    return normal.deviceIndependentSize().toSize() + QSize(2, 2) * frameWidth();
}

void ImageButton::setPicture(Look look, const QPixmap& picture) {
    face(look) = Face{picture, QString(), face(look).background};
    update();
}

void ImageButton::setBackground(Look look, const QColor& colour) {
    face(look).background = colour;
    update();
}

void ImageButton::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void ImageButton::setCaptionColor(const QColor& colour) {
    captionColor_ = colour;
    update();
}

void ImageButton::setFramed(bool framed) {
    framed_ = framed;
    update();
}

void ImageButton::setBorderColor(const QColor& colour) {
    borderColor_ = colour;
    update();
}

void ImageButton::setBorderWidth(int pixels) {
    borderWidth_ = pixels;
    update();
}

void ImageButton::setLook(Look look) {
    look_ = look;
    update();
}

void ImageButton::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    setLook(isEnabled() ? Look::Normal : Look::Disabled);
    if (!isEnabled()) {
        pointerInside_ = false;
        // It ignores the pointer now, so it must not keep it: every other
        // control of the window would go deaf.
        releasePointer();
    }
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int frame = frameWidth();
    if (frame > 0) {
        painter.setPen(palette().color(QPalette::Shadow));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QRect inner = rect().adjusted(frame, frame, -frame, -frame);
    if (inner.isEmpty()) return;
    painter.setClipRect(inner);
    painter.translate(inner.topLeft());

    const Face& shown = face(look_);
    painter.fillRect(QRect(QPoint(), inner.size()), shown.background);
    const QPixmap& picture = shown.picture.isNull() ? face(Look::Normal).picture : shown.picture;
    if (!picture.isNull()) painter.drawPixmap(0, 0, picture);

    if (framed_ && borderWidth_ > 0) {
        // Outline from (0, 0) to (inner - w, inner - w), each side w pixels
        // wide and hanging right and down from its line: the whole border
        // lies inside the button.
        const int w = borderWidth_;
        const int right = inner.width() - w;
        const int bottom = inner.height() - w;
        painter.fillRect(QRect(0, 0, right + w, w), borderColor_);
        painter.fillRect(QRect(0, bottom, right + w, w), borderColor_);
        painter.fillRect(QRect(0, 0, w, bottom + w), borderColor_);
        painter.fillRect(QRect(right, 0, w, bottom + w), borderColor_);
    }

    if (!caption_.isEmpty()) {
        const QFont font = captionFont();
        const QFontMetricsF metrics(font, this);
        const qreal x = (inner.width() - metrics.horizontalAdvance(caption_)) / 2;
        const qreal y = (inner.height() - metrics.height()) / 2;
        painter.setFont(font);
        painter.setPen(captionColor_);
        painter.drawText(QPointF(x, y + metrics.ascent()), caption_);
    }
}

void ImageButton::grabPointer() {
    if (isVisible()) grabMouse();
}

void ImageButton::releasePointer() {
    if (QWidget::mouseGrabber() == this) releaseMouse();
}

void ImageButton::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    // Inside the frame, tested against the outer size with both ends
    // included: a move to x = width() is still inside.
    const QPointF at = event->position() - QPointF(frameWidth(), frameWidth());
    const bool inside = at.x() >= 0 && at.x() <= width() && at.y() >= 0 && at.y() <= height();
    if (inside) {
        if (!pointerInside_) {
            setLook(Look::Hot);
            grabPointer();
            pointerInside_ = true;
            emit pointerEntered();
        }
        return;
    }
    // Only a real leave is reported: while a press that left the button is
    // held, its further moves outside arrive here too.
    if (!pointerInside_ && look_ == Look::Normal) return;
    setLook(Look::Normal);
    releasePointer();
    pointerInside_ = false;
    emit pointerLeft();
}

void ImageButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    setLook(Look::Pressed);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (look_ != Look::Pressed) return;
    setLook(Look::Hot);
    grabPointer();
    QPointer<ImageButton> alive(this);
    emit clicked();
    if (!alive) return;  // the handler may have closed the window
    // The next move over the button enters it again.
    pointerInside_ = false;
}

// The double-click notification takes the place of the second press; the
// button does not react to it, so a double click is one click.
void ImageButton::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void ImageButton::readProperties(const platform::PropertyStore& store) {
    // A button stored as disabled ignores the pointer but keeps its look
    // until its state changes.
    const Look kept = look_;
    setEnabled(store.readBoolean(QStringLiteral("Enabled"), true));
    look_ = kept;
    caption_ = store.readString(QStringLiteral("Caption"), kDefaultCaption);
    for (std::size_t i = 0; i < kPictureKeys.size(); ++i) {
        const QString source = store.readPicture(kPictureKeys[i]);
        faces_[i].source = source;
        faces_[i].picture = source.isEmpty() ? QPixmap() : QPixmap(source);
    }
    face(Look::Normal).background = readStoredColour(store, QStringLiteral("Color"), kButtonFace);
    face(Look::Hot).background = readStoredColour(store, QStringLiteral("ColorHot"), kButtonFace);
    face(Look::Pressed).background =
        readStoredColour(store, QStringLiteral("ColorDown"), kButtonFace);
    borderColor_ = readStoredColour(store, QStringLiteral("BorderColor"), 0);
    borderWidth_ = store.readInteger(QStringLiteral("BorderWidth"), 1);
    captionColor_ = readStoredColour(store, QStringLiteral("CaptionColor"), 0);
    // Not kept: the disabled colour and the frame start anew.
    face(Look::Disabled).background = Qt::black;
    framed_ = false;
    update();
}

void ImageButton::writeProperties(platform::PropertyStore& store) const {
    store.writeBoolean(QStringLiteral("Enabled"), isEnabled(), true);
    store.writeString(QStringLiteral("Caption"), caption_, kDefaultCaption);
    for (std::size_t i = 0; i < kPictureKeys.size(); ++i)
        store.writePicture(kPictureKeys[i], faces_[i].source);
    writeStoredColour(store, QStringLiteral("Color"), face(Look::Normal).background, kButtonFace);
    writeStoredColour(store, QStringLiteral("ColorHot"), face(Look::Hot).background, kButtonFace);
    writeStoredColour(store, QStringLiteral("ColorDown"), face(Look::Pressed).background,
                      kButtonFace);
    writeStoredColour(store, QStringLiteral("BorderColor"), borderColor_, 0);
    writeStoredColour(store, QStringLiteral("CaptionColor"), captionColor_, 0);
    store.writeInteger(QStringLiteral("BorderWidth"), static_cast<std::int16_t>(borderWidth_), 1);
}

}  // namespace viewer
