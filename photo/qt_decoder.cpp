// PNG, GIF, BMP, TIFF, WebP and ICO through Qt's image plugins, read from
// the opened file through a device of their own.
#include "photo/decoding.h"
#include "photo/limits.h"
#include "photo/orientation.h"
#include "photo/photo_file.h"

#include <QImageReader>
#include <algorithm>
#include <optional>

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
bool Oriented(Format format) {
    return format == Format::Tiff || format == Format::Png || format == Format::WebP;
}

std::uint64_t ValueBytes(const reader::PropertyImage& items) {
    std::uint64_t total = 0;
    for (const reader::PropertyImage::ItemLocation& item : items.items()) total += item.length;
    return total;
}

// The first value of a SHORT or LONG item of the first directory.
std::optional<std::uint64_t> Number(const reader::PropertyImage& items, std::uint32_t tag) {
    const reader::PropertyImage::ItemLocation* item = items.find(tag);
    if (!item || item->count == 0 || (item->type != 3 && item->type != 4)) return std::nullopt;
    std::uint8_t bytes[4] = {};
    const std::uint32_t size = item->type == 3 ? 2 : 4;
    if (!items.readValue(*item, bytes, size)) return std::nullopt;
    return size == 2 ? std::uint64_t{bytes[0]} | std::uint64_t{bytes[1]} << 8
                     : std::uint64_t{bytes[0]} | std::uint64_t{bytes[1]} << 8 |
                           std::uint64_t{bytes[2]} << 16 | std::uint64_t{bytes[3]} << 24;
}

// What Qt's TIFF reader holds to draw a TIFF of `stored` pixels: the whole
// picture at full size (8 bytes a pixel for samples over 8 bits), and
// libtiff's buffer for one strip or tile decoded whole, which for a TIFF
// written in one strip is the size of the picture again.
std::int64_t TiffHeldBytes(const reader::PropertyImage& items, const QSize& stored) {
    const std::uint64_t width = static_cast<std::uint64_t>(std::max(stored.width(), 0));
    const std::uint64_t height = static_cast<std::uint64_t>(std::max(stored.height(), 0));
    constexpr std::uint32_t kBitsPerSample = 0x102, kSamplesPerPixel = 0x115, kRowsPerStrip = 0x116,
                            kTileWidth = 0x142, kTileLength = 0x143;
    const std::uint64_t bits =
        std::clamp<std::uint64_t>(Number(items, kBitsPerSample).value_or(8), 1, 64);
    const std::uint64_t samples =
        std::clamp<std::uint64_t>(Number(items, kSamplesPerPixel).value_or(1), 1, 16);
    const std::uint64_t picture = width * height * (bits > 8 ? 8 : 4);
    std::uint64_t pieceWidth = width;
    std::uint64_t pieceRows = std::min(Number(items, kRowsPerStrip).value_or(height), height);
    if (const auto tileWidth = Number(items, kTileWidth), tileLength = Number(items, kTileLength);
        tileWidth && tileLength) {
        pieceWidth = std::min<std::uint64_t>(*tileWidth, 1u << 20);
        pieceRows = std::min<std::uint64_t>(*tileLength, 1u << 20);
    }
    const std::uint64_t piece = (pieceWidth * samples * bits + 7) / 8 * pieceRows;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(picture + piece, INT64_MAX));
}

class QtDecoder final : public Decoder {
public:
    QtDecoder(std::shared_ptr<const PhotoFile> file, Format format,
              const reader::PropertyImage* metadata)
        : file_(std::move(file)), format_(format), metadata_(*file_, metadata) {}

    Header header() override {
        if (header_) return *header_;
        header_.emplace();
        const std::unique_ptr<QIODevice> device = file_->device();
        QImageReader reader(device.get(), QtName(format_));
        prepareReader(reader);
        if (!reader.canRead()) {
            // No plugin for it here (Qt's WebP and TIFF plugins are a package of their own).
            header_->problem = reader.error() == QImageReader::UnsupportedFormatError
                                   ? Problem::UnsupportedCompression
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
        Picture picture = Picture::Described(head);
        if (picture.problem != Problem::None || target.isEmpty()) return picture;
        const QSize stored = uprightSize(target, head.orientation);
        QImage pixels;
        if (pixelBytes(target) > kDecodeLimitBytes || heldBytes() > kDecodeLimitBytes) {
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
        if (picture.problem == Problem::None)
            picture.image = upright(scaledTo(pixels, stored), head.orientation);
        return picture;
    }

private:
    std::int64_t heldBytes() {
        if (format_ == Format::Tiff) return TiffHeldBytes(metadata_.items(), stored_);
        // WebP's reader keeps the whole file in memory beside the picture.
        const std::int64_t file =
            format_ == Format::WebP
                ? static_cast<std::int64_t>(std::min<std::uint64_t>(file_->size(), INT32_MAX))
                : 0;
        return pixelBytes(stored_) + file;
    }

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
