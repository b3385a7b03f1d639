// JPEG photos, and the JPEG previews raw files embed. Drawn at an eighth of
// their size or less, a JPEG comes from its DC coefficients (our own
// decoder gives libjpeg's eighth-size picture, pixel for pixel, at about
// twice its speed, and a progressive file without libjpeg keeping every
// coefficient of the photo); larger, libjpeg decodes it through Qt's plugin,
// scaled while decoding.
#include "photo/decoding.h"
#include "photo/limits.h"
#include "photo/orientation.h"
#include "photo/photo_file.h"
#include "preview/jpeg_dc_preview.h"
#include "preview/jpeg_frame.h"
#include "reader/jpeg_segments.h"
#include "reader/property_containers.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <vector>

namespace photo::decoding {
namespace {

QSize EighthOf(const QSize& frame) {
    return QSize((frame.width() + 7) / 8, (frame.height() + 7) / 8);
}

// The eighth decoder's budget for a JPEG of this many bytes.
std::uint64_t EighthBudget(std::size_t fileBytes) {
    return static_cast<std::uint64_t>(
        std::clamp(static_cast<std::int64_t>(fileBytes) * kEighthBytesPerFileByte,
                   kEighthFloorBytes, kDecodeLimitBytes));
}

// The picture at an eighth from the DC coefficients of `bytes` (the whole
// file). Null when the bytes are not such a JPEG (or not the one the header
// promised); libjpeg decodes it then.
QImage EighthOfJpeg(std::span<const std::uint8_t> bytes, const QSize& frame) {
    preview::JpegPreview decoded = preview::DecodeJpegPreview(bytes, EighthBudget(bytes.size()));
    if (decoded.result == preview::JpegPreview::Result::NotHandled ||
        QSize(static_cast<int>(decoded.imageWidth), static_cast<int>(decoded.imageHeight)) != frame)
        return QImage();
    // The image takes the pixel buffer over instead of copying it.
    auto* pixels = new decltype(decoded.pixels)(std::move(decoded.pixels));
    QImage eighth(
        reinterpret_cast<uchar*>(pixels->data()), static_cast<int>(decoded.width),
        static_cast<int>(decoded.height), static_cast<qsizetype>(decoded.width) * 4,
        QImage::Format_RGB32, [](void* buffer) { delete static_cast<decltype(pixels)>(buffer); },
        pixels);
    // A grey photo in the format libjpeg gives it, so that it is scaled the same way.
    return decoded.grey ? eighth.convertToFormat(QImage::Format_Grayscale8) : eighth;
}

// What libjpeg keeps of the coefficients besides its output: for a file in
// several scans (progressive, or one per component) those of the whole
// photo, which a scaled decode does not make any smaller. When the header
// cannot be read up to the first scan, the most a frame of this size could
// need: four components at full resolution.
std::int64_t CodecCoefficientBytes(std::span<const std::uint8_t> bytes, const QSize& frame) {
    const preview::JpegFrame probe = preview::ReadJpegFrame(bytes);
    if (probe.found)
        return static_cast<std::int64_t>(
            std::min<std::uint64_t>(probe.keptCoefficientBytes, INT64_MAX));
    const auto padded = [](int side) {
        return (static_cast<std::int64_t>(std::max(side, 0)) + 31) / 32 * 32;
    };
    return 4 * 2 * padded(frame.width()) * padded(frame.height());
}

// What a decode of `frame` at `target` will take, checked before any pixel
// is decoded. libjpeg scales while decoding by eighths, so it needs about
// the target size, an eighth of the frame per side at least.
struct Plan {
    QSize decodeSize;
    bool fromEighth = false;  // the DC decoder can give it
    Problem problem = Problem::None;
};

Plan PlanDecode(const QSize& frame, const QSize& target, std::uint64_t fileBytes) {
    Plan plan;
    const QSize eighth = EighthOf(frame);
    plan.decodeSize = eighth.expandedTo(target);
    // Below an eighth libjpeg's own scaled decoding keeps small photos sharp.
    plan.fromEighth = eighth.width() >= target.width() && eighth.height() >= target.height();
    if (pixelBytes(plan.decodeSize) > kDecodeLimitBytes) plan.problem = Problem::TooLarge;
    else if (!bytesCanHold(Format::Jpeg, frame, fileBytes)) plan.problem = Problem::Damaged;
    return plan;
}

bool SegmentsAffordable(std::uint64_t segments) { return segments <= kMaxJpegSegments; }

// `bytes` is the whole file when `whole`, else its first bytes (for the
// frame probe). `reader` has read the header only. `allSegmentsAffordable`
// counts the segments between and after the scans too, which libjpeg reads
// while it decodes; only asked for when libjpeg is.
template <class Affordable>
Decoded Finish(QImageReader& reader, std::span<const std::uint8_t> bytes, bool whole,
               const Plan& plan, const QSize& frame, const QSize& target,
               const Affordable& allSegmentsAffordable) {
    QImage pixels;
    if (plan.fromEighth && whole) pixels = EighthOfJpeg(bytes, frame);
    if (pixels.isNull() &&
        pixelBytes(plan.decodeSize) + CodecCoefficientBytes(bytes, frame) > kDecodeLimitBytes)
        return {QImage(), Problem::TooLarge};
    if (pixels.isNull() && !allSegmentsAffordable()) return {QImage(), Problem::Damaged};
    reader.setScaledSize(target);
    if (pixels.isNull() && !reader.read(&pixels)) return {QImage(), Problem::DecodeFailed};
    return {scaledTo(pixels, target), Problem::None};
}

class JpegDecoder final : public Decoder {
public:
    JpegDecoder(std::shared_ptr<const PhotoFile> file, const reader::PropertyImage* metadata)
        : file_(std::move(file)), metadata_(*file_, metadata) {}

    Header header() override {
        if (header_) return *header_;
        header_.emplace();
        const std::unique_ptr<reader::ByteSource> source = file_->byteSource();
        if (!SegmentsAffordable(reader::CountJpegSegments(*source, kMaxJpegSegments))) {
            header_->problem = Problem::Damaged;
            return *header_;
        }
        const std::unique_ptr<QIODevice> device = file_->device();
        QImageReader reader(device.get(), "jpeg");
        prepareReader(reader);
        frame_ = reader.size();
        if (frame_.isEmpty()) {
            header_->problem = Problem::Damaged;
            return *header_;
        }
        header_->orientation = orientationOf(&metadata_.items());
        header_->size = uprightSize(frame_, header_->orientation);
        return *header_;
    }

    Picture decode(const QSize& target) override {
        const Header head = header();
        Picture picture = Picture::Described(head);
        if (picture.problem != Problem::None || target.isEmpty()) return picture;
        if (pixelBytes(target) > kDecodeLimitBytes) return Failed(picture, Problem::TooLarge);
        const QSize stored = uprightSize(target, head.orientation);
        const Plan plan = PlanDecode(frame_, stored, file_->size());
        if (plan.problem != Problem::None) return Failed(picture, plan.problem);
        // The whole file for the DC decoder (mapped where that is allowed),
        // else the head for the frame probe.
        const bool wantWhole =
            plan.fromEighth && file_->size() <= static_cast<std::uint64_t>(kDecodeLimitBytes);
        const auto mapping = std::make_shared<const PhotoFile::Mapping>(
            wantWhole ? file_->map() : PhotoFile::Mapping());
        if (*mapping) picture.source = mapping;
        const PhotoFile::Bytes read =
            *mapping ? PhotoFile::Bytes()
                     : file_->readUpTo(0, wantWhole ? file_->size() : kJpegHeadBytes);
        const std::span<const std::uint8_t> bytes = *mapping ? mapping->bytes() : read.span();
        const std::unique_ptr<QIODevice> device = file_->device();
        QImageReader reader(device.get(), "jpeg");
        prepareReader(reader);
        const Decoded decoded =
            Finish(reader, bytes, bytes.size() == file_->size(), plan, frame_, stored, [&] {
                return SegmentsAffordable(
                    reader::CountJpegSegments(*file_->byteSource(), kMaxJpegSegments, true));
            });
        if (decoded.problem != Problem::None) return Failed(picture, decoded.problem);
        picture.image = upright(decoded.image, head.orientation);
        return picture;
    }

private:
    static Picture Failed(Picture picture, Problem problem) {
        picture.problem = problem;
        return picture;
    }

    std::shared_ptr<const PhotoFile> file_;
    Metadata metadata_;
    std::optional<Header> header_;
    QSize frame_;  // as stored
};

}  // namespace

std::unique_ptr<Decoder> makeJpegDecoder(std::shared_ptr<const PhotoFile> file,
                                         const reader::PropertyImage* metadata) {
    return std::make_unique<JpegDecoder>(std::move(file), metadata);
}

QSize jpegFrameSize(std::span<const std::uint8_t> jpeg) {
    if (!SegmentsAffordable(preview::ReadJpegFrame(jpeg).segments)) return QSize();
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(jpeg.data()),
                                               static_cast<qsizetype>(jpeg.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return QSize();
    QImageReader reader(&buffer, "jpeg");
    prepareReader(reader);
    return reader.canRead() ? reader.size() : QSize();
}

Decoded decodeJpeg(std::span<const std::uint8_t> jpeg, const QSize& target) {
    if (target.isEmpty() || !SegmentsAffordable(preview::ReadJpegFrame(jpeg).segments))
        return {QImage(), Problem::DecodeFailed};
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(jpeg.data()),
                                               static_cast<qsizetype>(jpeg.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {QImage(), Problem::DecodeFailed};
    QImageReader reader(&buffer, "jpeg");
    prepareReader(reader);
    const QSize frame = reader.size();
    if (frame.isEmpty()) return {QImage(), Problem::DecodeFailed};
    const Plan plan = PlanDecode(frame, target, jpeg.size());
    if (plan.problem != Problem::None) return {QImage(), plan.problem};
    return Finish(reader, jpeg, true, plan, frame, target, [jpeg] {
        reader::MemoryWindow window(jpeg);
        return SegmentsAffordable(reader::JpegSegmentCount(window, jpeg.size(), kMaxJpegSegments,
                                                           true, reader::kMaxHeaders));
    });
}

}  // namespace photo::decoding
