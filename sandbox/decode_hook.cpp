#include "sandbox/decode_hook.h"

#include "sandbox/shared_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QImageReader>
#include <QImageWriter>
#include <QThreadPool>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace sandbox {
namespace {

// Qt's reader for each hint; the photo formats the viewer shows through Qt.
// Other plugins (TGA, WBMP, ICNS ...) recognise too much by content to be
// trusted with arbitrary files: what they recognise is refused.
struct QtFormat {
    FormatHint hint;
    const char* name;
};
constexpr QtFormat kQtFormats[] = {
    {FormatHint::Jpeg, "jpeg"}, {FormatHint::Png, "png"},   {FormatHint::Gif, "gif"}, {FormatHint::Bmp, "bmp"},
    {FormatHint::Tiff, "tiff"}, {FormatHint::WebP, "webp"}, {FormatHint::Ico, "ico"},
};

QByteArray qtName(FormatHint hint) {
    for (const QtFormat& format : kQtFormats)
        if (format.hint == hint) return format.name;
    return QByteArray();
}

bool isShownFormat(const QByteArray& name) {
    return std::any_of(std::begin(kQtFormats), std::end(kQtFormats),
                       [&](const QtFormat& format) { return name == format.name; });
}

// Qt's transformation for each Exif orientation code.
constexpr QImageIOHandler::Transformations kOrientations[] = {
    QImageIOHandler::TransformationNone,        QImageIOHandler::TransformationMirror,
    QImageIOHandler::TransformationRotate180,   QImageIOHandler::TransformationFlip,
    QImageIOHandler::TransformationFlipAndRotate90, QImageIOHandler::TransformationRotate90,
    QImageIOHandler::TransformationMirrorAndRotate90, QImageIOHandler::TransformationRotate270,
};

int exifOrientation(QImageIOHandler::Transformations transformation) {
    for (int code = 1; code <= 8; ++code)
        if (kOrientations[code - 1] == transformation) return code;
    return 1;
}

// The photo read at positions of its own: the descriptor's offset is the
// viewer's as well.
class DescriptorDevice final : public QIODevice {
public:
    explicit DescriptorDevice(int descriptor) : descriptor_(descriptor) {
        struct stat info {};
        if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) size_ = info.st_size;
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return size_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 at = pos();
        if (at >= size_) return 0;
        const auto wanted = static_cast<std::size_t>(std::min(maxSize, size_ - at));
        for (;;) {
            const ssize_t read = ::pread(descriptor_, data, wanted, static_cast<off_t>(at));
            if (read >= 0) return read;
            if (errno != EINTR) return -1;
        }
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int descriptor_;
    qint64 size_ = 0;
};

qint64 pixelBytes(const QSize& size) { return qint64{size.width()} * size.height() * 4; }

DecodeOutcome failed(const QString& reason) {
    DecodeOutcome outcome;
    outcome.reason = reason;
    return outcome;
}

DecodeOutcome decodeWithQt(const DecodeRequest& request) {
    DescriptorDevice device(request.photo);
    if (device.size() <= 0 || !device.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return failed(QStringLiteral("无法读取照片"));
    QImageReader reader(&device, qtName(request.format));
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(static_cast<int>(kMaxPictureBytes >> 20));
    if (!reader.canRead() || !isShownFormat(reader.format())) return failed(QStringLiteral("不是可以预览的照片"));

    DecodeOutcome outcome;
    const QSize stored = reader.size();
    if (stored.isEmpty()) return failed(QStringLiteral("照片已损坏，无法预览"));
    outcome.orientation = exifOrientation(reader.transformation());
    const bool turned = outcome.orientation >= 5;
    outcome.photoSize = turned ? stored.transposed() : stored;
    // The JPEG codec decodes at an eighth at the least; every other reader
    // decodes the whole photo before it is scaled.
    const QSize storedTarget = turned ? request.target.transposed() : request.target;
    const QSize decoded = reader.format() == "jpeg"
                              ? storedTarget.expandedTo(QSize((stored.width() + 7) / 8, (stored.height() + 7) / 8))
                              : stored;
    if (pixelBytes(decoded) > static_cast<qint64>(kMaxPictureBytes)) {
        outcome.reason = QStringLiteral("照片太大，无法预览");
        return outcome;
    }
    reader.setScaledSize(storedTarget);
    if (!reader.read(&outcome.picture)) {
        outcome.reason = QStringLiteral("照片已损坏，无法预览");
        return outcome;
    }
    if (outcome.picture.size() != request.target)
        outcome.picture = outcome.picture.scaled(request.target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return outcome;
}

// A one-pixel GIF: Qt has no GIF writer to make one.
constexpr unsigned char kTinyGif[] = {
    'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0xff, 0xff, 0, 0, 0, 0x21, 0xf9, 4, 1, 0, 0, 0,
    0,   0x2c, 0, 0,  0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 0x01, 0,  0x3b,
};

// Decodes a tiny photo of each format the way a request would, so that
// every plugin and the libraries behind it are loaded (Qt opens plugin
// files on first use), and the thread pool knows its size.
void warmUpQt() {
    QThreadPool::globalInstance();
    QImage tiny(8, 8, QImage::Format_RGB32);
    tiny.fill(Qt::gray);
    for (const QtFormat& format : kQtFormats) {
        QByteArray bytes;
        if (format.hint == FormatHint::Gif) {
            bytes = QByteArray(reinterpret_cast<const char*>(kTinyGif), sizeof(kTinyGif));
        } else {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter(&buffer, format.name).write(tiny);
        }
        const UniqueFd photo = sealedMemoryFile({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                 static_cast<std::size_t>(bytes.size())});
        // Once by name and once by content, which asks every plugin.
        for (const FormatHint hint : {format.hint, FormatHint::Unknown})
            decodeWithQt(DecodeRequest{0, photo.get(), QSize(4, 4), hint});
    }
}

}  // namespace

Decoders qtDecoders() { return Decoders{warmUpQt, decodeWithQt}; }

}  // namespace sandbox
