// Photo files for the panel's tests and benchmark, built in code: pixels
// encoded by Qt's writers, with an Exif block from tiff_builder spliced in.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace paneltest {

QByteArray Encode(const QImage& image, const char* format, int quality = 90);
QImage Solid(int width, int height, const QColor& colour);

// The encoded photo with the TIFF block as its Exif segment (JPEG: an APP1
// right after SOI, at most 65,527 bytes of block; PNG: an eXIf chunk right
// after IHDR).
QByteArray WithExifJpeg(const QByteArray& jpeg, const std::vector<std::uint8_t>& tiff);
QByteArray WithExifPng(const QByteArray& png, const std::vector<std::uint8_t>& tiff);

// A TIFF block whose IFD0 holds `count` image titles "Title 1", "Title 2", ...:
// `count` rows in the list, in order.
std::vector<std::uint8_t> TitleBlock(int count);

// Bytes as std::vector / QByteArray.
QByteArray Bytes(const std::vector<std::uint8_t>& bytes);

bool WriteFile(const QString& path, const QByteArray& bytes);

}  // namespace paneltest
