// PNG, GIF, BMP, TIFF, WebP and ICO through Qt's image plugins, read from
// the opened file through a device of their own.
#include "photo/decoding.h"
#include "photo/limits.h"
#include "photo/orientation.h"
#include "photo/photo_file.h"

#include <QImageReader>

namespace photo::decoding {
namespace {

const char* QtName(Format format) {
    switch (format) {
    case Format::Png: return "png";
    case Format::Gif: return "gif";
    case Format::Bmp: return "bmp";
    case Format::Tiff: return "tiff";
    case Format::WebP: return "webp";
    case Format::Ico: return "ico";
    case Format::Jpeg: return "jpeg";
    case Format::Heif:
    case Format::Raw: break;
    }
    return "";
}

// The formats whose pixels the plugins hand out as stored, to be turned by
// the Exif orientation of their property items.
bool Oriented(Format format) { return format == Format::Tiff || format == Format::Png || format == Format::WebP; }

std::uint64_t ValueBytes(const reader::PropertyImage& items) {
    std::uint64_t total = 0;
    for (const reader::PropertyImage::ItemLocation& item : items.items()) total += item.length;
    return total;
}

class QtDecoder final : public Decoder {
public:
    QtDecoder(std::shared_ptr<const PhotoFile> file, Format format, const reader::PropertyImage* metadata)
        : file_(std::move(file)), format_(format), metadata_(*file_, metadata) {}

    Header header() override {
        if (header_) return *header_;
        header_.emplace();
        const std::unique_ptr<QIODevice> device = file_->device();
        QImageReader reader(device.get(), QtName(format_));
        prepareReader(reader);
        if (!reader.canRead()) {
            // No plugin for it here (Qt's WebP and TIFF plugins are a package of their own).
            header_->problem = reader.error() == QImageReader::UnsupportedFormatError ? Problem::UnsupportedCompression
                                                                                      : Problem::Damaged;
            return *header_;
        }
        if (format_ == Format::Tiff && ValueBytes(metadata_.items()) > kMaxTiffValueBytes) {
            header_->problem = Problem::TooLarge;
            return *header_;
        }
        stored_ = reader.size();
        // A plugin that cannot tell the size without decoding: decode once,
        // within the allocation limit.
        if (!stored_.isValid() && reader.read(&decoded_)) stored_ = decoded_.size();
        if (stored_.isEmpty()) {
            header_->problem = Problem::Damaged;
            return *header_;
        }
        header_->orientation = Oriented(format_) ? orientationOf(&metadata_.items()) : 1;
        header_->size = uprightSize(stored_, header_->orientation);
        return *header_;
    }

    Picture decode(const QSize& target) override {
        const Header head = header();
        Picture picture{QImage(), head.size, head.orientation, head.problem};
        if (picture.problem != Problem::None || target.isEmpty()) return picture;
        const QSize stored = uprightSize(target, head.orientation);
        QImage pixels;
        if (pixelBytes(target) > kDecodeLimitBytes || pixelBytes(stored_) > kDecodeLimitBytes) {
            // These plugins decode the whole photo at full size first.
            picture.problem = Problem::TooLarge;
        } else if (!decoded_.isNull()) {
            pixels = decoded_;
        } else if (!bytesCanHold(format_, stored_, file_->size())) {
            picture.problem = Problem::Damaged;
        } else {
            const std::unique_ptr<QIODevice> device = file_->device();
            QImageReader reader(device.get(), QtName(format_));
            prepareReader(reader);
            reader.setScaledSize(stored);
            if (!reader.read(&pixels)) picture.problem = Problem::DecodeFailed;
        }
        if (picture.problem == Problem::None) picture.image = upright(scaledTo(pixels, stored), head.orientation);
        return picture;
    }

private:
    std::shared_ptr<const PhotoFile> file_;
    Format format_;
    Metadata metadata_;
    std::optional<Header> header_;
    QSize stored_;
    QImage decoded_;  // only for a plugin that cannot tell the size without decoding
};

}  // namespace

std::unique_ptr<Decoder> makeQtDecoder(std::shared_ptr<const PhotoFile> file, Format format,
                                       const reader::PropertyImage* metadata) {
    return std::make_unique<QtDecoder>(std::move(file), format, metadata);
}

}  // namespace photo::decoding
