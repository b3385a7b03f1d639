// The road of a photo from its path to the screen, in two steps a caller
// takes explicitly: open (the file once, recognised once, its metadata read
// by our own reader; no decoder runs), then ask for the picture at the size
// it is shown at. The viewer takes the first step itself and hands the
// second to the decoder worker (the opened descriptor travels there); the
// worker, the tests and the benchmarks take the second in-process.
//
//   photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
//   if (!photo.isOpen()) show(photo::reasonText(photo.problem()));
//   photo::Picture preview = photo.preview(targetSize);  // in the worker
#pragma once

#include "photo/decoder.h"
#include "photo/problem.h"
#include "photo/recognise.h"

#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace reader {
class PropertyImage;
}

namespace photo {

class PhotoFile;

class OpenedPhoto {
public:
    // Opens the file as a descriptor (regular files only), recognises it by
    // its first bytes and reads its property items. No decoder sees the
    // file: a third-party decoder's header parser is as exposed to a
    // hostile file as its pixel decoder.
    static OpenedPhoto open(const QString& path);

    OpenedPhoto(OpenedPhoto&&) noexcept;
    OpenedPhoto& operator=(OpenedPhoto&&) noexcept;
    ~OpenedPhoto();

    bool isOpen() const { return problem_ == Problem::None; }
    Problem problem() const { return problem_; }

    // As recognised: a raw file with a TIFF header (DNG, NEF ...) is a Tiff
    // here; its decoder tells it from a plain TIFF.
    Format format() const { return format_; }
    // The photo's property items; null when it is not open.
    const reader::PropertyImage* metadata() const { return metadata_.get(); }
    // Whether the reader found anything at all: items, XMP, IPTC or a
    // colour profile.
    bool hasMetadata() const;
    const std::shared_ptr<const PhotoFile>& file() const { return file_; }

    // Decoding in this process. The decoder's header: the upright size and
    // orientation, or why it cannot be read. A file with a TIFF header goes
    // to the raw decoder first and, when that finds no raw photo with a
    // preview in it, to the TIFF one. Read once.
    Header header();
    // The whole photo upright at `target` pixels (see Decoder::decode).
    Picture preview(const QSize& target);

private:
    OpenedPhoto() = default;
    Decoder* decoder();

    Problem problem_ = Problem::None;
    Format format_ = Format::Jpeg;
    bool mayBeRaw_ = false;
    std::shared_ptr<const PhotoFile> file_;
    std::unique_ptr<const reader::PropertyImage> metadata_;
    std::unique_ptr<Decoder> decoder_;
    std::optional<Header> header_;
};

// The size a photo of `photo` pixels (upright) is drawn at in `box`, keeping
// its aspect, as the photo panel fits it: the height decides first (so a
// small photo is enlarged), then the width is held to the box; halves go to
// the even neighbour. Never less than a pixel a side.
QSize fittedSize(const QSize& photo, const QSize& box);

// The decode step alone, as the decoder worker takes it: the file handed
// over, recognised again from its bytes (Damaged when that is not `expected`,
// a file changed since the viewer read it), its header read, and the photo
// drawn at fittedSize within `box`. `expected` may be empty (nothing known).
Picture decodePhoto(std::shared_ptr<const PhotoFile> file, std::optional<Format> expected,
                    const QSize& box);

// Whether the image plugins every photo's road needs (JPEG and PNG) are
// installed. Tests replace the check; an empty function restores it.
bool decodersAvailable();
void setDecodersCheck(std::function<bool()> check);

}  // namespace photo
