// voButton: an image button with four looks (normal, hot, pressed, disabled),
// each a picture over a background colour, with an optional border and a
// centred caption. It tracks the pointer itself: the first move over it
// captures the pointer, so that it also learns when the pointer leaves.
#pragma once

#include "platform/picture.h"
#include "platform/property_store.h"

#include <QImage>
#include <QWidget>
#include <cstdint>

class voButton : public QWidget {
    Q_OBJECT

public:
    enum DrawState : std::int16_t { StateNormal = 0, StateHot = 1, StateDown = 2, StateDisabled = 3 };

    // The button face colour of the platform (system colour 15).
    static constexpr std::uint32_t kButtonFace = 0x8000000Fu;

    explicit voButton(QWidget* parent = nullptr);

    platform::Picture PictureDown() const { return pictureDown_; }
    void SetPictureDown(const platform::Picture& picture) { pictureDown_ = picture; }
    platform::Picture PictureNormal() const { return pictureNormal_; }
    // The one picture whose change shows at once and is reported to the host.
    void SetPictureNormal(const platform::Picture& picture);
    platform::Picture PictureHot() const { return pictureHot_; }
    void SetPictureHot(const platform::Picture& picture) { pictureHot_ = picture; }
    platform::Picture PictureFalse() const { return pictureFalse_; }
    void SetPictureFalse(const platform::Picture& picture) { pictureFalse_ = picture; }

    // OLE colours; they show at the next redraw.
    std::uint32_t ColorDown() const { return colorDown_; }
    void SetColorDown(std::uint32_t colour) { colorDown_ = colour; }
    std::uint32_t Color() const { return color_; }
    void SetColor(std::uint32_t colour) { color_ = colour; }
    std::uint32_t ColorHot() const { return colorHot_; }
    void SetColorHot(std::uint32_t colour) { colorHot_ = colour; }
    std::uint32_t ColorFalse() const { return colorFalse_; }
    void SetColorFalse(std::uint32_t colour) { colorFalse_ = colour; }

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption) { caption_ = caption; }
    std::uint32_t BorderColor() const { return borderColor_; }
    void SetBorderColor(std::uint32_t colour) { borderColor_ = colour; }
    // Pixels.
    std::int16_t BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(std::int16_t width) { borderWidth_ = width; }
    std::uint32_t CaptionColor() const { return captionColor_; }
    void SetCaptionColor(std::uint32_t colour) { captionColor_ = colour; }
    // True: a single-line frame around the button and the border outline inside.
    bool NotBorder() const { return frameStyle_ == 1; }
    void SetNotBorder(bool notBorder);

    bool Enabled() const { return enabled_; }
    // Input is handled only while enabled; disabling shows the disabled look.
    void SetEnabled(bool enabled);

    // The host's property store: keys, order and defaults of the stored
    // properties. Reading redraws once and leaves the state as it is.
    void ReadProperties(const platform::PropertyStore& store);
    void WriteProperties(platform::PropertyStore& store) const;

    std::int16_t drawState() const { return drawState_; }
    bool pointerInside() const { return pointerInside_; }
    // The persistent drawing image shown in the window (inside the frame).
    const QImage& surface() const { return surface_; }

    QSize sizeHint() const override;

signals:
    void MouseEnter();
    void MouseLeave();
    void Click();
    // A property the host's store keeps has changed ("PictureNormal").
    void PropertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int frameWidth() const { return frameStyle_ == 1 ? 1 : 0; }
    QSize innerSize() const;
    void Redraw();
    void paintSurface();
    void capturePointer();
    void releasePointer();

    QString caption_;
    bool enabled_ = true;
    platform::Picture pictureNormal_, pictureHot_, pictureDown_, pictureFalse_;
    std::uint32_t color_ = kButtonFace;
    std::uint32_t colorHot_ = kButtonFace;
    std::uint32_t colorDown_ = kButtonFace;
    std::uint32_t colorFalse_ = 0;
    std::uint32_t borderColor_ = 0;
    std::int16_t borderWidth_ = 1;
    std::uint32_t captionColor_ = 0;
    int frameStyle_ = 0;
    std::int16_t drawState_ = StateNormal;
    bool pointerInside_ = false;
    QImage surface_;
};
