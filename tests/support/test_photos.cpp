#include "test_photos.h"

#include "tiff_builder.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <string>

namespace paneltest {
namespace {

std::uint32_t Crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char ch : bytes) {
        crc ^= static_cast<std::uint8_t>(ch);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendBigEndian(QByteArray& bytes, std::uint32_t value, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

QByteArray Encode(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image)) return QByteArray();
    return bytes;
}

QImage Solid(int width, int height, const QColor& colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray Bytes(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

QByteArray WithExifJpeg(const QByteArray& jpeg, const std::vector<std::uint8_t>& tiff) {
    if (jpeg.size() < 2 || tiff.size() + 8 > 0xFFFF) return QByteArray();
    QByteArray segment("\xFF\xE1", 2);
    AppendBigEndian(segment, static_cast<std::uint32_t>(tiff.size() + 8), 2);
    segment.append("Exif\0\0", 6);
    segment.append(Bytes(tiff));
    QByteArray out = jpeg;
    out.insert(2, segment);
    return out;
}

QByteArray WithExifPng(const QByteArray& png, const std::vector<std::uint8_t>& tiff) {
    constexpr int kAfterHeader = 8 + 4 + 4 + 13 + 4;  // signature, IHDR chunk
    if (png.size() < kAfterHeader) return QByteArray();
    const QByteArray typed = QByteArray("eXIf") + Bytes(tiff);
    QByteArray chunk;
    AppendBigEndian(chunk, static_cast<std::uint32_t>(tiff.size()), 4);
    chunk.append(typed);
    AppendBigEndian(chunk, Crc32(typed), 4);
    QByteArray out = png;
    out.insert(kAfterHeader, chunk);
    return out;
}

std::vector<std::uint8_t> TitleBlock(int count) {
    testsupport::TiffSpec tiff;
    tiff.ifd0.fields.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i)
        tiff.ifd0.fields.push_back(testsupport::Ascii(0x010E, "Title " + std::to_string(i)));
    return testsupport::BuildTiff(tiff).bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace paneltest
