// The decoders' maker, and what they share.
#include "photo/decoder.h"

#include "photo/decoding.h"
#include "photo/limits.h"
#include "photo/photo_file.h"

#include <QImageReader>
#include <algorithm>

namespace photo {

std::unique_ptr<Decoder> makeDecoder(std::shared_ptr<const PhotoFile> file, Format format,
                                     const reader::PropertyImage* metadata) {
    switch (format) {
    case Format::Jpeg: return decoding::makeJpegDecoder(std::move(file), metadata);
    case Format::Heif: return decoding::makeHeifDecoder(std::move(file));
    case Format::Raw: return decoding::makeRawDecoder(std::move(file));
    case Format::Png:
    case Format::Gif:
    case Format::Bmp:
    case Format::Tiff:
    case Format::WebP:
    case Format::Ico: break;
    }
    return decoding::makeQtDecoder(std::move(file), format, metadata);
}

namespace decoding {

Metadata::Metadata(const PhotoFile& file, const reader::PropertyImage* given) : given_(given) {
    if (!given_) own_.emplace(reader::PropertyImage::Open(file.byteSource()));
}

std::int64_t pixelBytes(const QSize& size) {
    return static_cast<std::int64_t>(std::max(0, size.width())) * std::max(0, size.height()) * 4;
}

bool bytesCanHold(Format format, const QSize& size, std::uint64_t bytes) {
    std::int64_t density = 0;
    if (format == Format::Jpeg) density = kJpegPixelsPerByte;
    else if (format == Format::Png) density = kPngPixelsPerByte;
    else return true;
    const std::int64_t pixels = static_cast<std::int64_t>(size.width()) * size.height();
    const auto fileBytes =
        static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, INT64_MAX / kPngPixelsPerByte));
    return pixels <= fileBytes * density + kPixelsBeyondDensity;
}

void prepareReader(QImageReader& reader) {
    reader.setAutoTransform(false);  // sizes and pixels as stored; the road turns them
    reader.setAllocationLimit(static_cast<int>(kDecodeLimitBytes / (1024 * 1024)));
}

QImage scaledTo(const QImage& image, const QSize& target) {
    return image.size() == target
               ? image
               : image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace decoding
}  // namespace photo
