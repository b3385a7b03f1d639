// Camera raw files, shown from the preview the camera embedded (LibRaw
// reads it; the raw data is never developed), turned by the camera's
// orientation: LibRaw reads it from wherever the make keeps it, and the
// preview is stored unturned like the raw data.
#include "photo/decoding.h"
#include "photo/limits.h"
#include "photo/orientation.h"
#include "photo/photo_file.h"
#include "preview/raw_preview.h"

#include <cstring>

namespace photo::decoding {
namespace {

QImage Bitmap(const preview::RawPreview& preview) {
    QImage image(static_cast<int>(preview.width), static_cast<int>(preview.height),
                 preview.channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) return image;
    const std::size_t row = std::size_t{preview.width} * static_cast<std::size_t>(preview.channels);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), preview.bytes.data() + static_cast<std::size_t>(y) * row,
                    row);
    return image;
}

Problem ProblemOf(preview::RawFailure failure) {
    switch (failure) {
    case preview::RawFailure::TooLarge: return Problem::TooLarge;
    case preview::RawFailure::NoPreview: return Problem::UnsupportedCompression;
    case preview::RawFailure::None:
    case preview::RawFailure::NotRaw:
    case preview::RawFailure::Broken: break;
    }
    return Problem::Damaged;
}

class RawDecoder final : public Decoder {
public:
    explicit RawDecoder(std::shared_ptr<const PhotoFile> file) : file_(std::move(file)) {}

    Header header() override {
        if (header_) return *header_;
        header_.emplace();
        preview::RawFailure failure = preview::RawFailure::None;
        photo_ = preview::OpenRawPhoto(file_->descriptor(),
                                       static_cast<std::uint64_t>(kDecodeLimitBytes), &failure);
        if (photo_) {
            const preview::RawPreview& preview = photo_->preview;
            previewSize_ =
                preview.kind == preview::RawPreview::Kind::Jpeg
                    ? jpegFrameSize(preview.bytes)
                    : QSize(static_cast<int>(preview.width), static_cast<int>(preview.height));
        }
        if (previewSize_.isEmpty()) {
            header_->problem = photo_ ? Problem::Damaged : ProblemOf(failure);
            photo_.reset();
            return *header_;
        }
        header_->size = QSize(static_cast<int>(photo_->width), static_cast<int>(photo_->height));
        header_->orientation = photo_->orientation;
        return *header_;
    }

    Picture decode(const QSize& target) override {
        const Header head = header();
        Picture picture = Picture::Described(head);
        if (picture.problem != Problem::None || target.isEmpty()) return picture;
        if (pixelBytes(target) > kDecodeLimitBytes) {
            picture.problem = Problem::TooLarge;
            return picture;
        }
        const int turn = head.orientation;
        // More pixels than the preview has would only be made up.
        const QSize wanted = target.boundedTo(head.size).boundedTo(uprightSize(previewSize_, turn));
        const QSize stored = uprightSize(wanted, turn);
        QImage pixels;
        if (photo_->preview.kind == preview::RawPreview::Kind::Jpeg) {
            const Decoded decoded = decodeJpeg(photo_->preview.bytes, stored);
            pixels = decoded.image;
            picture.problem = decoded.problem;
        } else {
            pixels = scaledTo(Bitmap(photo_->preview), stored);
            if (pixels.isNull()) picture.problem = Problem::DecodeFailed;
        }
        if (picture.problem == Problem::None)
            picture.image = scaledTo(upright(pixels, turn), target);
        return picture;
    }

private:
    std::shared_ptr<const PhotoFile> file_;
    std::optional<Header> header_;
    std::unique_ptr<preview::RawPhoto> photo_;
    QSize previewSize_;  // as stored
};

}  // namespace

std::unique_ptr<Decoder> makeRawDecoder(std::shared_ptr<const PhotoFile> file) {
    return std::make_unique<RawDecoder>(std::move(file));
}

}  // namespace photo::decoding
