// The road of a photo from its path to the screen, in two steps a caller
// takes explicitly: open (the file once, recognised once, its header and
// its metadata read, no pixels), then ask for the preview at the size it is
// shown at.
//
//   photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
//   if (!photo.isOpen()) show(photo::reasonText(photo.problem()));
//   photo::Picture preview = photo.preview(targetSize);
#pragma once

#include "photo/decoder.h"
#include "photo/problem.h"
#include "photo/recognise.h"

#include <QSize>
#include <QString>
#include <functional>
#include <memory>

namespace reader {
class PropertyImage;
}

namespace photo {

class PhotoFile;

class OpenedPhoto {
public:
    // Opens the file as a descriptor (regular files only), recognises it by
    // its first bytes, reads its property items and asks its decoder for the
    // header. A file with a TIFF header goes to the raw decoder first and,
    // when that finds no raw photo with a preview in it, to the TIFF one.
    static OpenedPhoto open(const QString& path);

    OpenedPhoto(OpenedPhoto&&) noexcept;
    OpenedPhoto& operator=(OpenedPhoto&&) noexcept;
    ~OpenedPhoto();

    bool isOpen() const { return problem_ == Problem::None; }
    Problem problem() const { return problem_; }

    Format format() const { return format_; }
    QSize size() const { return header_.size; }  // upright
    int orientation() const { return header_.orientation; }
    // The photo's property items; null when it is not open.
    const reader::PropertyImage* metadata() const { return metadata_.get(); }
    const std::shared_ptr<const PhotoFile>& file() const { return file_; }

    // The whole photo upright at `target` pixels (see Decoder::decode); the
    // decoder's header is not read again.
    Picture preview(const QSize& target);

private:
    OpenedPhoto() = default;

    Problem problem_ = Problem::None;
    Format format_ = Format::Jpeg;
    Header header_;
    std::shared_ptr<const PhotoFile> file_;
    std::unique_ptr<const reader::PropertyImage> metadata_;
    std::unique_ptr<Decoder> decoder_;
};

// The decode step alone, as a process that is handed a descriptor, the
// format the road recognised and a size takes it: reads the header again.
Picture decodePhoto(std::shared_ptr<const PhotoFile> file, Format format, const QSize& target);

// Whether the image plugins every photo's road needs (JPEG and PNG) are
// installed. Tests replace the check; an empty function restores it.
bool decodersAvailable();
void setDecodersCheck(std::function<bool()> check);

}  // namespace photo
