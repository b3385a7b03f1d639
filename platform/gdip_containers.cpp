// HEIF, AVIF and camera raw photos in the image layer: opened by the preview
// decoders over libheif and LibRaw, drawn at the target size, upright.
#include "platform/gdip_image_p.h"
#include "platform/photo_orientation.h"
#include "preview/heif_preview.h"
#include "preview/raw_preview.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// Enough of a file's start for every raw signature and a HEIF file's brands.
constexpr qint64 kHeadBytes = 256;

void SetStatus(GpStatus* status, GpStatus value) {
    if (status) *status = value;
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The size of the picture of the whole photo whose `clip` comes out at
// `target` or larger; never larger than the photo.
QSize WholeTarget(const QSize& photo, const QRect& clip, const QSize& target) {
    const auto side = [](int whole, int part, int wanted) {
        return static_cast<int>(std::min<qint64>(whole, (qint64{wanted} * whole + part - 1) / part));
    };
    return QSize(side(photo.width(), clip.width(), target.width()),
                 side(photo.height(), clip.height(), target.height()));
}

// `clip` (in photo pixels) of a picture of the whole photo, at `target`.
QImage ClipAndScale(const QImage& whole, const QSize& photo, const QRect& clip, const QSize& target) {
    QImage part = whole;
    if (clip != QRect(QPoint(0, 0), photo)) {
        const qreal across = qreal(whole.width()) / photo.width();
        const qreal down = qreal(whole.height()) / photo.height();
        const QRect area = QRectF(clip.x() * across, clip.y() * down, clip.width() * across, clip.height() * down)
                               .toAlignedRect()
                               .intersected(whole.rect());
        part = whole.copy(area);
    }
    return part.size() == target ? part : part.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The image takes the pixel buffer over instead of copying it.
QImage Owning(preview::ShrunkPicture&& picture) {
    auto* pixels = new std::vector<std::uint32_t>(std::move(picture.pixels));
    return QImage(reinterpret_cast<uchar*>(pixels->data()), static_cast<int>(picture.width),
                  static_cast<int>(picture.height), static_cast<qsizetype>(picture.width) * 4,
                  picture.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32,
                  [](void* buffer) { delete static_cast<std::vector<std::uint32_t>*>(buffer); }, pixels);
}

class HeifContainer final : public ContainerPhoto {
public:
    explicit HeifContainer(std::unique_ptr<preview::HeifPhoto> photo) : photo_(std::move(photo)) {}

    QByteArray format() const override { return "heif"; }
    QSize size() const override {
        return QSize(static_cast<int>(photo_->width()), static_cast<int>(photo_->height()));
    }

    QImage Decode(const QRect& clip, const QSize& target, GpStatus* status) const override {
        const QSize whole = WholeTarget(size(), clip, target);
        preview::HeifPicture decoded = photo_->Decode(static_cast<std::uint32_t>(whole.width()),
                                                      static_cast<std::uint32_t>(whole.height()),
                                                      static_cast<std::uint64_t>(kDecodeLimitBytes));
        switch (decoded.result) {
        case preview::HeifPicture::Result::TooLarge:
            SetStatus(status, OutOfMemory);
            return QImage();
        case preview::HeifPicture::Result::Broken:
            SetStatus(status, GenericError);
            return QImage();
        case preview::HeifPicture::Result::Decoded:
            break;
        }
        SetStatus(status, Ok);
        return ClipAndScale(Owning(std::move(decoded.picture)), size(), clip, target);
    }

private:
    std::unique_ptr<preview::HeifPhoto> photo_;
};

// The size of a JPEG from its header; empty when it has none, or one that
// libjpeg should not read.
QSize JpegFrame(std::span<const std::uint8_t> jpeg) {
    if (!JpegHeaderAffordable(jpeg)) return QSize();
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(jpeg.data()),
                                               static_cast<qsizetype>(jpeg.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return QSize();
    QImageReader reader(&buffer, "jpeg");
    reader.setDecideFormatFromContent(true);
    return reader.canRead() && reader.format() == "jpeg" ? reader.size() : QSize();
}

QImage Bitmap(const preview::RawPreview& preview) {
    QImage image(static_cast<int>(preview.width), static_cast<int>(preview.height),
                 preview.channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) return image;
    const std::size_t row = std::size_t{preview.width} * static_cast<std::size_t>(preview.channels);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), preview.bytes.data() + static_cast<std::size_t>(y) * row, row);
    return image;
}

// A raw file drawn from the preview the camera embedded, turned by the
// camera's orientation (LibRaw reads it from wherever the make keeps it, and
// the preview is stored unturned like the raw data).
class RawContainer final : public ContainerPhoto {
public:
    RawContainer(std::unique_ptr<preview::RawPhoto> photo, const QSize& previewSize)
        : photo_(std::move(photo)), previewSize_(previewSize) {}

    QByteArray format() const override { return "raw"; }
    QSize size() const override {
        return QSize(static_cast<int>(photo_->width), static_cast<int>(photo_->height));
    }

    QImage Decode(const QRect& clip, const QSize& target, GpStatus* status) const override {
        const int turn = photo_->orientation;
        // More pixels than the preview has would only be made up.
        const QSize whole = WholeTarget(size(), clip, target).boundedTo(UprightSize(previewSize_, turn));
        const QSize stored = UprightSize(whole, turn);
        QImage pixels;
        if (photo_->preview.kind == preview::RawPreview::Kind::Jpeg) {
            pixels = DecodeJpegAt(photo_->preview.bytes, stored, status);
        } else {
            pixels = Bitmap(photo_->preview).scaled(stored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            SetStatus(status, pixels.isNull() ? GenericError : Ok);
        }
        if (pixels.isNull()) return pixels;
        return ClipAndScale(Upright(pixels, turn), size(), clip, target);
    }

private:
    std::unique_ptr<preview::RawPhoto> photo_;
    QSize previewSize_;  // stored
};

}  // namespace

ContainerOpen OpenContainerPhoto(const QString& path, QFile& file) {
    using Outcome = ContainerOpen::Outcome;
    const QByteArray head = file.read(kHeadBytes);
    if (!file.seek(0)) return {Outcome::Broken, nullptr};
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(head.constData()),
                          static_cast<std::size_t>(head.size()));

    if (preview::IsHeif(bytes)) {
        std::unique_ptr<preview::HeifPhoto> photo = preview::HeifPhoto::Open(LocalPath(path));
        if (!photo) return {Outcome::Broken, nullptr};
        return {Outcome::Opened, std::make_shared<HeifContainer>(std::move(photo))};
    }

    const preview::RawSignature signature = preview::RawSignatureOf(bytes);
    if (signature == preview::RawSignature::None) return {};
    std::unique_ptr<preview::RawPhoto> raw =
        preview::OpenRawPhoto(LocalPath(path), static_cast<std::uint64_t>(kDecodeLimitBytes));
    QSize previewSize;
    if (raw) {
        previewSize = raw->preview.kind == preview::RawPreview::Kind::Jpeg
                          ? JpegFrame(raw->preview.bytes)
                          : QSize(static_cast<int>(raw->preview.width), static_cast<int>(raw->preview.height));
    }
    if (raw && !previewSize.isEmpty())
        return {Outcome::Opened, std::make_shared<RawContainer>(std::move(raw), previewSize)};
    // Without a preview to show, a TIFF is left to the decoder: LibRaw takes
    // some plain 16-bit TIFFs for raw data.
    return {signature == preview::RawSignature::TiffBased ? Outcome::NotContainer : Outcome::Broken, nullptr};
}

}  // namespace platform
