// An image button with four looks (normal, hot, pressed, disabled), each a
// picture over a background colour, with an optional border and a centred
// caption. It tracks the pointer itself: the first move over it grabs the
// pointer, so that it also learns when the pointer leaves.
#pragma once

#include "platform/property_store.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <array>

namespace viewer {

class ImageButton : public QWidget {
    Q_OBJECT

public:
    enum class Look { Normal, Hot, Pressed, Disabled };

    explicit ImageButton(QWidget* parent = nullptr);

    // A look without a picture of its own shows the normal picture. Pictures
    // are drawn from the top-left corner at their own size.
    QPixmap picture(Look look) const { return face(look).picture; }
    void setPicture(Look look, const QPixmap& picture);
    QColor background(Look look) const { return face(look).background; }
    void setBackground(Look look, const QColor& colour);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);
    QColor captionColor() const { return captionColor_; }
    void setCaptionColor(const QColor& colour);
    // A frame one pixel wide around the button, and inside it an outline
    // borderWidth() pixels wide in borderColor().
    bool isFramed() const { return framed_; }
    void setFramed(bool framed);
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& colour);
    int borderWidth() const { return borderWidth_; }
    void setBorderWidth(int pixels);

    Look look() const { return look_; }
    bool pointerInside() const { return pointerInside_; }

    // The values kept for each button of a window (":/design/<window>.json"),
    // under their keys and defaults. Reading leaves the look as it is.
    void readProperties(const platform::PropertyStore& store);
    void writeProperties(platform::PropertyStore& store) const;

    QSize sizeHint() const override;

signals:
    void pointerEntered();
    void pointerLeft();
    // Any mouse button, pressed and released without leaving the button.
    void clicked();

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct Face {
        QPixmap picture;
        QString source;  // the path it was read from; empty: set in code, not stored
        QColor background;
    };
    Face& face(Look look) { return faces_[static_cast<std::size_t>(look)]; }
    const Face& face(Look look) const { return faces_[static_cast<std::size_t>(look)]; }
    int frameWidth() const { return framed_ ? 1 : 0; }
    void setLook(Look look);
    void grabPointer();
    void releasePointer();

    std::array<Face, 4> faces_;
    QString caption_;
    QColor captionColor_ = Qt::black;
    bool framed_ = false;
    QColor borderColor_ = Qt::black;
    int borderWidth_ = 1;
    Look look_ = Look::Normal;
    bool pointerInside_ = false;
};

}  // namespace viewer
