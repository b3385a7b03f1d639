// Images of the graphics layer: a photo file opened for its pixel size and its
// property items, decoded only when it is drawn, and then only at the size the
// target needs. Sizes and pixels are those of the photo upright: a photo
// stored on its side with an Exif orientation of 6 is 3000 x 4000, not
// 4000 x 3000.
#pragma once

#include "platform/gdip_objects.h"
#include "reader/property_items.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>

namespace platform {

class ContainerPhoto;
struct ImageAccess;

class GpImage {
public:
    // The photo's property items (GdipGetPropertyCount and friends take this),
    // or nullptr when the file could not be opened for them.
    const reader::PropertyImage* properties() const { return properties_ ? &*properties_ : nullptr; }

    QString path() const { return path_; }
    // The decoder's name: "jpeg", "png", ...; "heif" for HEIF and AVIF, "raw"
    // for camera raw files.
    QByteArray format() const { return format_; }
    QSize size() const { return size_; }  // upright
    // The Exif orientation (1-8) that turns the decoder's pixels upright; 1
    // when the decoder hands them out upright itself (HEIF, raw files).
    int orientation() const { return orientation_; }

private:
    friend GpImage* GdipLoadImageFromFile(const QString& path);
    friend QImage DecodeImageRect(const GpImage* image, const QRect& source, const QSize& target,
                                  GpStatus* status);
    friend struct ImageAccess;

    QString path_;
    QByteArray format_;
    QSize size_;
    QSize storedSize_;  // as the decoder hands the pixels out, before turning
    int orientation_ = 1;
    std::optional<reader::PropertyImage> properties_;
    // A HEIF or raw photo, opened by the library made for its container.
    std::shared_ptr<const ContainerPhoto> container_;
    // Only for a decoder that cannot tell the size without decoding.
    QImage decoded_;
};

// Opens an image file: nullptr when the file is not a readable image of a
// format the decoder offers (BMP, GIF, JPEG, PNG, TIFF, ICO, WebP, HEIF, AVIF,
// camera raw files with an embedded preview), or not a regular file at all (a
// FIFO, socket or device, which is never read). Reads the header and the
// property items, not the pixels (of a raw file, its embedded preview).
GpImage* GdipLoadImageFromFile(const QString& path);
GpStatus GdipGetImageWidth(const GpImage* image, std::uint32_t* width);
GpStatus GdipGetImageHeight(const GpImage* image, std::uint32_t* height);
GpStatus GdipDisposeImage(GpImage* image);
using ImageHandle = GdipHandle<GpImage, GdipDisposeImage>;

// The largest decode buffer this layer allocates for one draw.
constexpr qint64 kDecodeLimitBytes = 256LL * 1024 * 1024;

// Decodes `source` (in image pixels, clipped to the image) scaled to `target`,
// upright. A JPEG drawn whole at an eighth of its size or less comes from its
// DC coefficients; otherwise the codec decodes it at (or just above) the
// target size, so a large photo drawn small never needs a full-size buffer. A
// HEIF photo is drawn from a thumbnail when the file has one at least as large
// as the target and of the photo's aspect; a raw file from its embedded
// preview. Returns a null image, with OutOfMemory, when the decode would need
// more than kDecodeLimitBytes (for a JPEG in several scans, such as a
// progressive one, counting the coefficients the codec keeps for the whole
// photo), and with GenericError when the pixels cannot be read or the header
// claims more pixels than the file's size can describe.
QImage DecodeImageRect(const GpImage* image, const QRect& source, const QSize& target,
                       GpStatus* status = nullptr);

}  // namespace platform
