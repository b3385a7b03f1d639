// Inside of the image layer, shared by its files only: the photos whose
// containers Qt's image reader does not open (HEIF and AVIF through libheif,
// camera raw files through LibRaw), and the JPEG path their previews share.
#pragma once

#include "platform/gdip_image.h"

#include <QFile>
#include <QImage>
#include <QRect>
#include <QSize>
#include <memory>
#include <span>

namespace platform {

class ContainerPhoto {
public:
    virtual ~ContainerPhoto() = default;
    virtual QByteArray format() const = 0;
    virtual QSize size() const = 0;  // upright
    // `clip` (upright pixels) lies inside the photo; the target is not empty
    // and within the decode limit. A null image with the status on failure.
    virtual QImage Decode(const QRect& clip, const QSize& target, GpStatus* status) const = 0;
};

struct ContainerOpen {
    enum class Outcome {
        NotContainer,  // for Qt's image reader
        Broken,        // a HEIF or raw file that cannot be shown
        Opened,
    };
    Outcome outcome = Outcome::NotContainer;
    std::shared_ptr<const ContainerPhoto> photo;
};

// Recognises a HEIF, AVIF or camera raw file by the first bytes of `file`
// (the photo at `path`, opened as a regular file) and opens it.
ContainerOpen OpenContainerPhoto(const QString& path, QFile& file);

// Whether libjpeg may read the header of this JPEG held in memory: not when
// it holds more segments before its image data than any photo (see
// kMaxJpegSegments in the image layer).
bool JpegHeaderAffordable(std::span<const std::uint8_t> jpeg);

// A JPEG held in memory decoded at `target`, by the same path as a JPEG
// file: at an eighth from its DC coefficients when that is large enough,
// else scaled by the codec.
QImage DecodeJpegAt(std::span<const std::uint8_t> jpeg, const QSize& target, GpStatus* status);

// What GdipLoadImageFromFile and DecodeImageRect do beyond the plain decoder.
struct ImageAccess {
    static GpImage* FromContainer(const QString& path, std::shared_ptr<const ContainerPhoto> photo);
    // Records the stored size and the orientation, and makes the size upright.
    static void TurnUpright(GpImage& image);
    // The decoder's own pixels of `clip` (stored pixels, inside the image)
    // scaled to `target` (stored sides), not yet turned.
    static QImage DecodeStored(const GpImage* image, const QRect& clip, const QSize& target,
                               GpStatus* status);
};

}  // namespace platform
