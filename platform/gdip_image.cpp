#include "platform/gdip_image.h"

#include "platform/gdip_image_p.h"
#include "platform/gdip_objects_p.h"
#include "platform/photo_orientation.h"
#include "preview/jpeg_dc_preview.h"
#include "preview/jpeg_frame.h"
#include "reader/property_containers.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// What the platform's decoder offers; Qt's other plugins (TGA, WBMP, SVG ...)
// recognise too much by content to be trusted with arbitrary files.
constexpr const char* kDecoderFormats[] = {"bmp", "gif", "jpeg", "png", "tiff", "ico", "webp"};

bool IsDecoderFormat(const QByteArray& format) {
    return std::any_of(std::begin(kDecoderFormats), std::end(kDecoderFormats),
                       [&](const char* name) { return format == name; });
}

// A photo file opened for reading, or nothing when it is not a regular file:
// a FIFO would block the first read (or the open) until some writer came,
// and a device or socket has no end. The type is taken from the descriptor
// opened, so a FIFO put in the file's place meanwhile is caught too, and
// O_NONBLOCK keeps that open from waiting; a regular file's reads ignore it.
std::unique_ptr<QFile> OpenPhotoFile(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    struct stat info {};
    auto file = std::make_unique<QFile>();
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return nullptr;
    }
    return file;
}

// The formats whose pixels the decoder hands out as stored, to be turned by
// the Exif orientation of their property items.
constexpr const char* kOrientedFormats[] = {"jpeg", "tiff", "png", "webp"};

bool IsOrientedFormat(const QByteArray& format) {
    return std::any_of(std::begin(kOrientedFormats), std::end(kOrientedFormats),
                       [&](const char* name) { return format == name; });
}

void PrepareReader(QImageReader& reader) {
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);  // sizes and pixels as stored, as the decoder reports them
    reader.setAllocationLimit(static_cast<int>(kDecodeLimitBytes / (1024 * 1024)));
}

void SetStatus(GpStatus* status, GpStatus value) {
    if (status) *status = value;
}

constexpr qint64 kBytesPerPixel = 4;

struct Density {
    const char* format;
    qint64 pixelsPerByte;
};

// The most pixels one byte of a file can describe: a Huffman-coded JPEG
// spends at least one bit on each 8 x 8 block (512 pixels per byte, with a
// margin here), a PNG at most 1032 raw bytes per deflated byte at 8 pixels per
// byte (1-bit images). A header claiming more describes pixels the file cannot
// hold; decoding it would only cost time and memory.
constexpr Density kDensities[] = {
    {"jpeg", 1024},
    {"png", 8320},
};

bool BytesCanHold(const QByteArray& format, const QSize& size, qint64 fileSize) {
    for (const Density& density : kDensities) {
        if (format != density.format) continue;
        const qint64 pixels = static_cast<qint64>(size.width()) * size.height();
        return pixels <= fileSize * density.pixelsPerByte + (1 << 20);
    }
    return true;
}

bool FileCanHold(const GpImage& image) {
    return BytesCanHold(image.format(), image.size(), QFileInfo(image.path()).size());
}

qint64 PixelBytes(const QSize& size) {
    return static_cast<qint64>(std::max(0, size.width())) * std::max(0, size.height()) *
           kBytesPerPixel;
}

// A JPEG's bytes, read once for the eighth decoder and the frame probe: the
// whole file when the eighth decoder wants it (up to the decode limit), else
// its first kJpegHeadBytes. Read, not mapped: a file cut short by another
// program meanwhile must not bring the process down.
struct JpegBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    bool whole = false;
    std::span<const std::uint8_t> span() const { return {data.get(), size}; }
};

constexpr qint64 kJpegHeadBytes = 4LL << 20;

JpegBytes ReadJpeg(QFile& file, bool forEighth) {
    JpegBytes bytes;
    const qint64 size = file.size();
    if (size <= 0) return bytes;
    const qint64 wanted = forEighth && size <= kDecodeLimitBytes ? size : std::min(size, kJpegHeadBytes);
    // Not zero-filled first: the read overwrites every byte it counts.
    bytes.data.reset(new std::uint8_t[static_cast<std::size_t>(wanted)]);
    const qint64 read = file.read(reinterpret_cast<char*>(bytes.data.get()), wanted);
    bytes.size = static_cast<std::size_t>(std::max<qint64>(read, 0));
    bytes.whole = read == size;
    return bytes;
}

// The eighth decoder's buffers may take this many bytes for each byte of the
// file, or kEighthFloorBytes, whichever is more, within kDecodeLimitBytes. A
// photo's buffers take no more than a few times its file; only a file of flat
// blocks at a few bits each claims more, and is not worth the memory (nor the
// time to fill it).
constexpr qint64 kEighthBytesPerFileByte = 16;
constexpr qint64 kEighthFloorBytes = 32LL << 20;

// The eighth decoder's budget for a JPEG of this many bytes.
qint64 EighthBudget(std::size_t fileBytes) {
    return std::clamp(static_cast<qint64>(fileBytes) * kEighthBytesPerFileByte, kEighthFloorBytes, kDecodeLimitBytes);
}

// A JPEG drawn at an eighth of its size or less: its DC coefficients give the
// codec's eighth-size picture, pixel for pixel, at about twice the speed of
// its own scaled decoding, and a progressive file without the codec keeping
// every coefficient of the photo. A null image when the bytes are not such a
// JPEG (or not the one the header promised); the codec decodes it then.
QImage EighthOfJpeg(std::span<const std::uint8_t> bytes, const QSize& frame) {
    preview::JpegPreview decoded =
        preview::DecodeJpegPreview(bytes, static_cast<std::uint64_t>(EighthBudget(bytes.size())));
    if (decoded.result == preview::JpegPreview::Result::NotHandled ||
        QSize(static_cast<int>(decoded.imageWidth), static_cast<int>(decoded.imageHeight)) != frame)
        return QImage();
    // The image takes the pixel buffer over instead of copying it.
    auto* pixels = new std::vector<std::uint32_t>(std::move(decoded.pixels));
    QImage eighth(reinterpret_cast<uchar*>(pixels->data()), static_cast<int>(decoded.width),
                  static_cast<int>(decoded.height), static_cast<qsizetype>(decoded.width) * 4,
                  QImage::Format_RGB32,
                  [](void* buffer) { delete static_cast<std::vector<std::uint32_t>*>(buffer); }, pixels);
    // A grey photo in the format the codec gives it, so that it is scaled the same way.
    return decoded.grey ? eighth.convertToFormat(QImage::Format_Grayscale8) : eighth;
}

// What the codec keeps of a JPEG's coefficients besides its output: for a
// file in several scans (progressive, or one per component) those of the
// whole photo, which a scaled decode does not make any smaller. When the
// header cannot be read up to the first scan, the most a frame of this size
// could need: four components at full resolution.
qint64 CodecCoefficientBytes(std::span<const std::uint8_t> bytes, const QSize& size) {
    const preview::JpegFrame frame = preview::ReadJpegFrame(bytes);
    if (frame.found) return static_cast<qint64>(std::min<std::uint64_t>(frame.keptCoefficientBytes, INT64_MAX));
    const auto padded = [](int side) { return (static_cast<qint64>(std::max(side, 0)) + 31) / 32 * 32; };
    return 4 * 2 * padded(size.width()) * padded(size.height());
}

// Headers that cost the decoder far more than their bytes, refused before it
// reads them. libjpeg keeps the segments it saves in a list that it walks to
// the end for each new one: a hundred thousand empty comments take seconds. A
// photo has tens of segments, a few hundred with a long XMP or ICC profile in
// 64 KiB pieces. libtiff reads every value of the first directory, whatever
// the tag, and copies it, several times while a TIFF is opened and drawn
// (about 30 ms and 2 MiB of memory for each MiB of values on a small
// machine); a photo's values take a few megabytes.
constexpr std::uint64_t kMaxJpegSegments = 4096;
constexpr std::uint64_t kMaxTiffValueBytes = 64ULL << 20;

std::uint64_t ValueBytes(const reader::PropertyImage& properties) {
    std::uint64_t total = 0;
    for (const reader::PropertyImage::ItemLocation& item : properties.items()) total += item.length;
    return total;
}

}  // namespace

bool JpegHeaderAffordable(std::span<const std::uint8_t> jpeg) {
    return preview::ReadJpegFrame(jpeg).segments <= kMaxJpegSegments;
}

QImage DecodeJpegAt(std::span<const std::uint8_t> jpeg, const QSize& target, GpStatus* status) {
    SetStatus(status, GenericError);
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(jpeg.data()),
                                               static_cast<qsizetype>(jpeg.size()));
    QBuffer buffer(&bytes);
    if (target.isEmpty() || !JpegHeaderAffordable(jpeg) || !buffer.open(QIODevice::ReadOnly)) return QImage();
    QImageReader reader(&buffer, "jpeg");
    PrepareReader(reader);
    const QSize frame = reader.size();
    if (frame.isEmpty() || !BytesCanHold("jpeg", frame, bytes.size())) return QImage();
    const QSize eighth((frame.width() + 7) / 8, (frame.height() + 7) / 8);
    if (PixelBytes(eighth.expandedTo(target)) > kDecodeLimitBytes) {
        SetStatus(status, OutOfMemory);
        return QImage();
    }
    QImage pixels;
    if (eighth.width() >= target.width() && eighth.height() >= target.height()) pixels = EighthOfJpeg(jpeg, frame);
    if (pixels.isNull() &&
        PixelBytes(eighth.expandedTo(target)) + CodecCoefficientBytes(jpeg, frame) > kDecodeLimitBytes) {
        SetStatus(status, OutOfMemory);
        return QImage();
    }
    reader.setScaledSize(target);
    if (pixels.isNull() && !reader.read(&pixels)) return QImage();
    if (pixels.size() != target)
        pixels = pixels.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    SetStatus(status, Ok);
    return pixels;
}

GpImage* ImageAccess::FromContainer(const QString& path, std::shared_ptr<const ContainerPhoto> photo) {
    if (!photo) return nullptr;
    auto image = std::make_unique<GpImage>();
    image->path_ = path;
    image->format_ = photo->format();
    image->size_ = image->storedSize_ = photo->size();
    image->container_ = std::move(photo);
    if (auto source = reader::FileSource(QFile::encodeName(path).toStdString()))
        image->properties_.emplace(reader::PropertyImage::Open(std::move(source)));
    GdipCountCreated(GdipKind::Image);
    return image.release();
}

void ImageAccess::TurnUpright(GpImage& image) {
    image.storedSize_ = image.size_;
    image.orientation_ = IsOrientedFormat(image.format_) ? PhotoOrientation(image.properties()) : 1;
    image.size_ = UprightSize(image.storedSize_, image.orientation_);
}

GpImage* GdipLoadImageFromFile(const QString& path) {
    if (path.isEmpty()) return nullptr;
    const std::unique_ptr<QFile> file = OpenPhotoFile(path);
    if (!file) return nullptr;
    // HEIF, AVIF and raw files before Qt's reader: it has none for the first,
    // and would open a raw file as the TIFF its first directory holds.
    ContainerOpen container = OpenContainerPhoto(path, *file);
    if (container.outcome != ContainerOpen::Outcome::NotContainer)
        return ImageAccess::FromContainer(path, std::move(container.photo));
    QImageReader reader(file.get());
    PrepareReader(reader);
    if (!reader.canRead()) return nullptr;
    const QByteArray format = reader.format();
    if (!IsDecoderFormat(format)) return nullptr;

    auto image = std::make_unique<GpImage>();
    image->path_ = path;
    image->format_ = format;
    std::unique_ptr<reader::ByteSource> source = reader::FileSource(QFile::encodeName(path).toStdString());
    if (format == "jpeg" && source &&
        reader::CountJpegSegments(*source, kMaxJpegSegments) > kMaxJpegSegments)
        return nullptr;
    if (source) image->properties_.emplace(reader::PropertyImage::Open(std::move(source)));
    if (format == "tiff" && image->properties_ && ValueBytes(*image->properties_) > kMaxTiffValueBytes)
        return nullptr;
    image->size_ = reader.size();
    if (!image->size_.isValid()) {
        // A decoder that cannot tell its size from the header: decode once,
        // within the allocation limit.
        if (!reader.read(&image->decoded_)) return nullptr;
        image->size_ = image->decoded_.size();
    }
    if (image->size_.isEmpty()) return nullptr;
    ImageAccess::TurnUpright(*image);

    GdipCountCreated(GdipKind::Image);
    return image.release();
}

GpStatus GdipGetImageWidth(const GpImage* image, std::uint32_t* width) {
    if (!image || !width) return InvalidParameter;
    *width = static_cast<std::uint32_t>(image->size().width());
    return Ok;
}

GpStatus GdipGetImageHeight(const GpImage* image, std::uint32_t* height) {
    if (!image || !height) return InvalidParameter;
    *height = static_cast<std::uint32_t>(image->size().height());
    return Ok;
}

GpStatus GdipDisposeImage(GpImage* image) {
    if (!image) return InvalidParameter;
    delete image;
    GdipCountDeleted(GdipKind::Image);
    return Ok;
}

QImage DecodeImageRect(const GpImage* image, const QRect& source, const QSize& target,
                       GpStatus* status) {
    if (!image || target.isEmpty()) {
        SetStatus(status, InvalidParameter);
        return QImage();
    }
    const QRect bounds(QPoint(0, 0), image->size());
    const QRect clip = source.intersected(bounds);
    if (clip.isEmpty()) {
        SetStatus(status, InvalidParameter);
        return QImage();
    }
    if (PixelBytes(target) > kDecodeLimitBytes) {
        SetStatus(status, OutOfMemory);
        return QImage();
    }
    if (image->container_) return image->container_->Decode(clip, target, status);
    const int orientation = image->orientation_;
    return Upright(ImageAccess::DecodeStored(image, StoredRect(clip, image->storedSize_, orientation),
                                             UprightSize(target, orientation), status),
                   orientation);
}

QImage ImageAccess::DecodeStored(const GpImage* image, const QRect& clip, const QSize& target,
                                 GpStatus* status) {
    const QRect bounds(QPoint(0, 0), image->storedSize_);
    if (!image->decoded_.isNull()) {
        SetStatus(status, Ok);
        return image->decoded_.copy(clip).scaled(target, Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation);
    }

    const std::unique_ptr<QFile> file = OpenPhotoFile(image->path_);
    if (!file) {
        SetStatus(status, GenericError);
        return QImage();
    }
    const bool jpeg = image->format_ == "jpeg";
    const bool whole = clip == bounds;
    const QSize eighth((clip.width() + 7) / 8, (clip.height() + 7) / 8);
    // Below an eighth the codec's own scaled decoding keeps small photos sharp.
    const bool forEighth = jpeg && whole && eighth.width() >= target.width() && eighth.height() >= target.height();
    QImageReader reader(file.get(), image->format_);
    PrepareReader(reader);
    // Estimate the codec's own buffer before asking for it: the JPEG codec
    // scales while decoding, by eighths, so it needs about the target size (an
    // eighth of the source per side at least); any other decodes the source
    // rectangle (or the whole image, when it cannot clip) at full size first.
    QSize decodeSize = whole || reader.supportsOption(QImageIOHandler::ClipRect) ? clip.size()
                                                                                 : bounds.size();
    if (jpeg && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        decodeSize = QSize(std::max(target.width(), (clip.width() + 7) / 8),
                           std::max(target.height(), (clip.height() + 7) / 8));
    }
    if (PixelBytes(decodeSize) > kDecodeLimitBytes) {
        SetStatus(status, OutOfMemory);
        return QImage();
    }
    if (!FileCanHold(*image)) {
        SetStatus(status, GenericError);
        return QImage();
    }
    JpegBytes jpegBytes;
    if (jpeg) {
        // The codec has only looked at the header so far; it reads on from
        // where it was.
        const qint64 at = file->pos();
        file->seek(0);
        jpegBytes = ReadJpeg(*file, forEighth);
        file->seek(at);
    }
    QImage pixels;
    if (forEighth && jpegBytes.whole) pixels = EighthOfJpeg(jpegBytes.span(), image->storedSize_);
    if (jpeg && pixels.isNull() &&
        PixelBytes(decodeSize) + CodecCoefficientBytes(jpegBytes.span(), image->storedSize_) > kDecodeLimitBytes) {
        SetStatus(status, OutOfMemory);
        return QImage();
    }
    if (!whole) reader.setClipRect(clip);
    reader.setScaledSize(target);
    if (pixels.isNull() && !reader.read(&pixels)) {
        SetStatus(status, GenericError);
        return QImage();
    }
    if (pixels.size() != target)
        pixels = pixels.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    SetStatus(status, Ok);
    return pixels;
}

}  // namespace platform
