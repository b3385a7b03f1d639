#include "photo/opened_photo.h"

#include "photo/photo_file.h"
#include "reader/property_items.h"

#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <limits>

namespace photo {
namespace {

std::function<bool()>& DecodersCheck() {
    static std::function<bool()> check;
    return check;
}

int RoundToSide(double value) {
    return static_cast<int>(std::clamp(std::nearbyint(value), 1.0,
                                       static_cast<double>(std::numeric_limits<int>::max())));
}

// The decoder a recognised file goes to, with its header read: a file with a
// TIFF header is offered to the raw decoder first and, when that finds no raw
// photo with a preview in it, read as the TIFF it also is.
struct Chosen {
    std::unique_ptr<Decoder> decoder;
    Header header;
};

Chosen ChooseDecoder(const std::shared_ptr<const PhotoFile>& file, const Recognition& recognition,
                     const reader::PropertyImage* metadata) {
    Chosen chosen;
    if (recognition.mayBeRaw) {
        chosen.decoder = makeDecoder(file, Format::Raw, metadata);
        chosen.header = chosen.decoder->header();
        if (chosen.header.problem == Problem::None) return chosen;
    }
    chosen.decoder = makeDecoder(file, recognition.format, metadata);
    chosen.header = chosen.decoder->header();
    return chosen;
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
    photo.format_ = recognition.format;
    photo.mayBeRaw_ = recognition.mayBeRaw;
    photo.metadata_ = std::make_unique<const reader::PropertyImage>(
        reader::PropertyImage::Open(photo.file_->byteSource()));
    return photo;
}

OpenedPhoto::OpenedPhoto(OpenedPhoto&&) noexcept = default;
OpenedPhoto& OpenedPhoto::operator=(OpenedPhoto&&) noexcept = default;
OpenedPhoto::~OpenedPhoto() = default;

bool OpenedPhoto::hasMetadata() const {
    if (!metadata_) return false;
    const reader::EmbeddedBlocks& blocks = metadata_->embedded();
    return !metadata_->items().empty() || !blocks.xmp.empty() || !blocks.extendedXmp.empty() ||
           !blocks.iptc.empty() || !blocks.icc.empty();
}

Decoder* OpenedPhoto::decoder() {
    if (!file_) return nullptr;
    if (!decoder_) {
        Chosen chosen = ChooseDecoder(
            file_, Recognition{Recognition::Verdict::Ok, format_, mayBeRaw_, Problem::None},
            metadata_.get());
        decoder_ = std::move(chosen.decoder);
        header_ = chosen.header;
    }
    return decoder_.get();
}

Header OpenedPhoto::header() {
    if (!decoder()) return Header{QSize(), 1, problem_};
    return *header_;
}

Picture OpenedPhoto::preview(const QSize& target) {
    if (!decoder())
        return Picture::Described(
            Header{QSize(), 1, problem_ == Problem::None ? Problem::DecodeFailed : problem_});
    return decoder_->decode(target);
}

QSize fittedSize(const QSize& photo, const QSize& box) {
    if (photo.isEmpty() || box.isEmpty()) return QSize();
    // In single precision, as the panel's layout keeps the ratio: it decides
    // which way a half goes.
    const float ratio = static_cast<float>(static_cast<double>(photo.width()) / photo.height());
    int height = box.height();
    int width = RoundToSide(static_cast<double>(ratio) * box.height());
    if (width > box.width()) {
        width = box.width();
        height = RoundToSide(box.width() / static_cast<double>(ratio));
    }
    return QSize(width, height);
}

Picture decodePhoto(std::shared_ptr<const PhotoFile> file, std::optional<Format> expected,
                    const QSize& box) {
    Picture failed = Picture::Described(Header{});
    const Recognition recognition = recognise(*file);
    if (recognition.verdict != Recognition::Verdict::Ok) {
        failed.problem = recognition.problem;
        return failed;
    }
    if (expected && recognition.format != *expected) {
        failed.problem = Problem::Damaged;
        return failed;
    }
    Chosen chosen = ChooseDecoder(file, recognition, nullptr);
    if (chosen.header.problem != Problem::None) {
        failed.problem = chosen.header.problem;
        return failed;
    }
    return chosen.decoder->decode(fittedSize(chosen.header.size, box));
}

bool decodersAvailable() {
    if (DecodersCheck()) return DecodersCheck()();
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains("jpeg") && formats.contains("png");
}

void setDecodersCheck(std::function<bool()> check) { DecodersCheck() = std::move(check); }

}  // namespace photo
