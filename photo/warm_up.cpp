#include "photo/warm_up.h"

#include "photo/opened_photo.h"
#include "photo/photo_file.h"
#include "photo/warm_up_samples.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QThreadPool>
#include <span>
#include <sys/mman.h>
#include <unistd.h>

namespace photo {
namespace {

// A one-pixel GIF: Qt has no GIF writer to make one.
constexpr unsigned char kTinyGif[] = {
    'G',  'I', 'F', '8', '9',  'a',  1, 0, 1, 0,    0x80, 0, 0,    0xff, 0xff,
    0xff, 0,   0,   0,   0x21, 0xf9, 4, 1, 0, 0,    0,    0, 0x2c, 0,    0,
    0,    0,   1,   0,   1,    0,    0, 2, 2, 0x44, 0x01, 0, 0x3b,
};

QByteArray Written(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

// Decoded from a memory file, as the worker decodes a photo handed to it.
void Decode(std::span<const unsigned char> bytes, const QSize& box) {
    const int file = ::memfd_create("exifviewer-warm-up", MFD_CLOEXEC);
    if (file < 0) return;
    if (::write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        ::close(file);
        return;
    }
    const PhotoFile::Opened opened = PhotoFile::adopt(file);
    if (opened.file) decodePhoto(opened.file, std::nullopt, box);
}

void Decode(const QByteArray& bytes, const QSize& box) {
    Decode(std::span(reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<std::size_t>(bytes.size())),
           box);
}

}  // namespace

void warmUpDecoders() {
    // Qt's thread pool, which scales large pictures down, reads the
    // processor count once.
    QThreadPool::globalInstance();
    QImage tiny(16, 16, QImage::Format_RGB32);
    tiny.fill(Qt::gray);
    for (const char* format : {"jpeg", "png", "bmp", "tiff", "webp", "ico"})
        Decode(Written(tiny, format), QSize(4, 4));
    // A JPEG at an eighth or less comes from its DC coefficients, larger
    // through libjpeg: both roads.
    QImage larger(64, 64, QImage::Format_RGB32);
    larger.fill(Qt::gray);
    Decode(Written(larger, "jpeg"), QSize(4, 4));
    Decode(Written(larger, "jpeg"), QSize(32, 32));
    Decode(kTinyGif, QSize(1, 1));
    Decode(warmup::kHeic, QSize(4, 4));
    Decode(warmup::kAvif, QSize(4, 4));
    Decode(warmup::kDng, QSize(4, 4));
}

}  // namespace photo
