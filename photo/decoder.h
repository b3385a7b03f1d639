// The one interface every decoder of the photo road offers, whatever the
// format behind it: the JPEG decoder (our own DC decoder for an eighth and
// less, libjpeg through Qt above that), Qt's plugins for PNG, GIF, BMP,
// TIFF, WebP and ICO, libheif for HEIF and AVIF, LibRaw for the preview a
// camera embedded in its raw file. What goes in is the opened file and a
// size; what comes out is plain data (pixels, sizes, orientation, a
// reason), so a decode can run wherever the descriptor can be handed.
#pragma once

#include "photo/problem.h"
#include "photo/recognise.h"

#include <QImage>
#include <QSize>
#include <memory>

namespace reader {
class PropertyImage;
}

namespace photo {

class PhotoFile;

struct Header {
    QSize size;  // upright
    int orientation =
        1;  // the Exif code the pixels are turned by; 1 when the decoder turns them itself
    Problem problem = Problem::None;
};

struct Picture {
    QImage image;         // the whole photo upright, at the size asked for
    QSize size;           // the photo's upright size
    int orientation = 1;  // as in Header
    Problem problem = Problem::None;
    // What the pixels were decoded from, when letting go of it costs (an
    // 18 MB photo mapped takes 0.75 ms to unmap): released with the picture,
    // so that a caller can hand the picture on first.
    std::shared_ptr<const void> source;
    bool ok() const { return problem == Problem::None && !image.isNull(); }
    // No pixels yet: the photo as a header describes it.
    static Picture Described(const Header& head) {
        return {QImage(), head.size, head.orientation, head.problem, nullptr};
    }
};

class Decoder {
public:
    virtual ~Decoder() = default;

    // Reads what the header says: the size and orientation, without the
    // pixels. Read once; later calls give the same answer.
    virtual Header header() = 0;

    // The whole photo, upright, scaled to `target` pixels (its own aspect or
    // not), decoded for that size rather than at full size and scaled down.
    // Refused with TooLarge when the decode would need more than the decode
    // limit, and with Damaged when the header claims more pixels than the
    // file can hold. An empty target decodes nothing.
    virtual Picture decode(const QSize& target) = 0;
};

// The decoder for a file of `format`. `metadata`, when given, is the file's
// property items (for the Exif orientation and the cost of a TIFF's values)
// and must outlive the decoder; without it the decoder reads its own.
std::unique_ptr<Decoder> makeDecoder(std::shared_ptr<const PhotoFile> file, Format format,
                                     const reader::PropertyImage* metadata = nullptr);

}  // namespace photo
