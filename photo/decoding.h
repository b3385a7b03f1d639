// Inside of the photo road, shared by the decoders of this folder only:
// each decoder family's maker and the pieces they have in common.
#pragma once

#include "photo/decoder.h"
#include "reader/property_items.h"

#include <QImage>
#include <QSize>
#include <memory>
#include <optional>
#include <span>

class QImageReader;

namespace photo::decoding {

std::unique_ptr<Decoder> makeJpegDecoder(std::shared_ptr<const PhotoFile> file,
                                         const reader::PropertyImage* metadata);
// PNG, GIF, BMP, TIFF, WebP and ICO.
std::unique_ptr<Decoder> makeQtDecoder(std::shared_ptr<const PhotoFile> file, Format format,
                                       const reader::PropertyImage* metadata);
std::unique_ptr<Decoder> makeHeifDecoder(std::shared_ptr<const PhotoFile> file);
std::unique_ptr<Decoder> makeRawDecoder(std::shared_ptr<const PhotoFile> file);

// The file's property items: the ones handed in, or read for the decoder.
class Metadata {
public:
    Metadata(const PhotoFile& file, const reader::PropertyImage* given);
    const reader::PropertyImage& items() const { return given_ ? *given_ : *own_; }

private:
    const reader::PropertyImage* given_;
    std::optional<reader::PropertyImage> own_;
};

std::int64_t pixelBytes(const QSize& size);
// Whether `bytes` bytes of a file in `format` can hold a picture of `size`.
bool bytesCanHold(Format format, const QSize& size, std::uint64_t bytes);
// Sizes and pixels as stored, within the decode limit.
void prepareReader(QImageReader& reader);
// Scaled smoothly to `target` (not keeping the aspect), unless it is that size.
QImage scaledTo(const QImage& image, const QSize& target);

// A JPEG held in memory (a raw file's preview), by the road of a JPEG file:
// at an eighth from its DC coefficients when that is large enough, else
// scaled by the codec, within the same budgets. Stored, not turned.
struct Decoded {
    QImage image;
    Problem problem = Problem::None;
};
Decoded decodeJpeg(std::span<const std::uint8_t> jpeg, const QSize& target);
// The size its header gives; empty when it has none that libjpeg should read.
QSize jpegFrameSize(std::span<const std::uint8_t> jpeg);

}  // namespace photo::decoding
