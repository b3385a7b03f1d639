// HEIF and AVIF photos through libheif, which turns them by the file's own
// rotation and mirror boxes while decoding: sizes and pixels come upright.
#include "photo/decoding.h"
#include "photo/limits.h"
#include "photo/photo_file.h"
#include "preview/heif_preview.h"

namespace photo::decoding {
namespace {

// The image takes the pixel buffer over instead of copying it.
QImage Owning(preview::ShrunkPicture&& picture) {
    auto* pixels = new std::vector<std::uint32_t>(std::move(picture.pixels));
    return QImage(
        reinterpret_cast<uchar*>(pixels->data()), static_cast<int>(picture.width),
        static_cast<int>(picture.height), static_cast<qsizetype>(picture.width) * 4,
        picture.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32,
        [](void* buffer) { delete static_cast<std::vector<std::uint32_t>*>(buffer); }, pixels);
}

class HeifDecoder final : public Decoder {
public:
    explicit HeifDecoder(std::shared_ptr<const PhotoFile> file) : file_(std::move(file)) {}

    Header header() override {
        if (header_) return *header_;
        header_.emplace();
        photo_ = preview::HeifPhoto::Open(file_->descriptor());
        if (!photo_) header_->problem = Problem::Damaged;
        else
            header_->size =
                QSize(static_cast<int>(photo_->width()), static_cast<int>(photo_->height()));
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
        // More pixels than the photo has would only be made up.
        const QSize wanted = target.boundedTo(head.size);
        preview::HeifPicture decoded = photo_->Decode(
            static_cast<std::uint32_t>(wanted.width()), static_cast<std::uint32_t>(wanted.height()),
            {static_cast<std::uint64_t>(kDecodeLimitBytes), kMaxHeifCodedImages});
        switch (decoded.result) {
        case preview::HeifPicture::Result::TooLarge: picture.problem = Problem::TooLarge; break;
        case preview::HeifPicture::Result::Broken: picture.problem = Problem::DecodeFailed; break;
        case preview::HeifPicture::Result::Unsupported:
            picture.problem = Problem::UnsupportedCompression;
            break;
        case preview::HeifPicture::Result::Decoded:
            picture.image = scaledTo(Owning(std::move(decoded.picture)), target);
            break;
        }
        return picture;
    }

private:
    std::shared_ptr<const PhotoFile> file_;
    std::optional<Header> header_;
    std::unique_ptr<preview::HeifPhoto> photo_;
};

}  // namespace

std::unique_ptr<Decoder> makeHeifDecoder(std::shared_ptr<const PhotoFile> file) {
    return std::make_unique<HeifDecoder>(std::move(file));
}

}  // namespace photo::decoding
