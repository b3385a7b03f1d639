#include "photo/opened_photo.h"

#include "photo/photo_file.h"
#include "reader/property_items.h"

#include <QImageReader>

namespace photo {
namespace {

std::function<bool()>& DecodersCheck() {
    static std::function<bool()> check;
    return check;
}

}  // namespace

OpenedPhoto OpenedPhoto::open(const QString& path) {
    OpenedPhoto photo;
    PhotoFile::Opened opened = PhotoFile::open(path);
    if (!opened.file) {
        photo.problem_ = opened.problem;
        return photo;
    }
    const Recognition recognition = recognise(*opened.file);
    if (recognition.verdict != Recognition::Verdict::Ok) {
        photo.problem_ = recognition.problem;
        return photo;
    }
    photo.file_ = std::move(opened.file);
    photo.metadata_ = std::make_unique<const reader::PropertyImage>(reader::PropertyImage::Open(photo.file_->byteSource()));
    photo.format_ = recognition.mayBeRaw ? Format::Raw : recognition.format;
    photo.decoder_ = makeDecoder(photo.file_, photo.format_, photo.metadata_.get());
    photo.header_ = photo.decoder_->header();
    if (recognition.mayBeRaw && photo.header_.problem != Problem::None) {
        // No raw photo with a preview to show: the TIFF it also is.
        photo.format_ = recognition.format;
        photo.decoder_ = makeDecoder(photo.file_, photo.format_, photo.metadata_.get());
        photo.header_ = photo.decoder_->header();
    }
    photo.problem_ = photo.header_.problem;
    if (!photo.isOpen()) {
        photo.decoder_.reset();
        photo.metadata_.reset();
        photo.file_.reset();
    }
    return photo;
}

OpenedPhoto::OpenedPhoto(OpenedPhoto&&) noexcept = default;
OpenedPhoto& OpenedPhoto::operator=(OpenedPhoto&&) noexcept = default;
OpenedPhoto::~OpenedPhoto() = default;

Picture OpenedPhoto::preview(const QSize& target) {
    if (!decoder_) return Picture{QImage(), QSize(), 1, problem_ == Problem::None ? Problem::DecodeFailed : problem_};
    return decoder_->decode(target);
}

Picture decodePhoto(std::shared_ptr<const PhotoFile> file, Format format, const QSize& target) {
    return makeDecoder(std::move(file), format)->decode(target);
}

bool decodersAvailable() {
    if (DecodersCheck()) return DecodersCheck()();
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains("jpeg") && formats.contains("png");
}

void setDecodersCheck(std::function<bool()> check) { DecodersCheck() = std::move(check); }

}  // namespace photo
