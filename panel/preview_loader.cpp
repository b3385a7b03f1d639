#include "panel/preview_loader.h"

#include "photo/opened_photo.h"
#include "photo/photo_file.h"
#include "photo/recognise.h"

#include <QFile>
#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace viewer {
namespace {

// The worker's hints follow the photo road's formats, with Unknown before them.
static_assert(static_cast<int>(sandbox::FormatHint::Jpeg) ==
              static_cast<int>(photo::Format::Jpeg) + 1);
static_assert(static_cast<int>(sandbox::FormatHint::Raw) ==
              static_cast<int>(photo::Format::Raw) + 1);

sandbox::FormatHint hintOf(photo::Format format) {
    return static_cast<sandbox::FormatHint>(static_cast<int>(format) + 1);
}

sandbox::DecoderClient::Options inBackground(sandbox::DecoderClient::Options options) {
    options.background = true;
    return options;
}

qint64 nanoseconds(const timespec& time) {
    return static_cast<qint64>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

PreviewLoader::PreviewLoader(QObject* parent)
    : PreviewLoader(sandbox::DecoderClient::Options(), parent) {}

PreviewLoader::PreviewLoader(sandbox::DecoderClient::Options options, QObject* parent)
    : QObject(parent), screen_(options), background_(inBackground(std::move(options))) {
    connect(&screen_, &sandbox::DecoderClient::decoded, this, &PreviewLoader::screenDecoded);
    connect(&background_, &sandbox::DecoderClient::decoded, this, &PreviewLoader::preloadDecoded);
}

// The preloading worker starts with the first preload: a photo alone in its
// folder costs no second process.
void PreviewLoader::start() { screen_.start(); }

PreviewLoader::Identity PreviewLoader::identityOf(const struct ::stat& info) {
    return Identity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino),
                    static_cast<qint64>(info.st_size), nanoseconds(info.st_mtim),
                    nanoseconds(info.st_ctim)};
}

std::optional<PreviewLoader::Identity> PreviewLoader::identify(int descriptor) {
    struct stat info {};
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0) return std::nullopt;
    return identityOf(info);
}

const PreviewLoader::Kept* PreviewLoader::find(const Identity& photo, const QSize& box) const {
    for (const Kept& kept : kept_) {
        if (kept.photo == photo && kept.box == box) return &kept;
    }
    return nullptr;
}

void PreviewLoader::keep(const Identity& photo, const QSize& box,
                         const sandbox::DecodedPicture& picture) {
    // Only pictures: a failure may pass (a photo still being copied).
    if (!picture.ok()) return;
    std::erase_if(kept_, [&](const Kept& kept) { return kept.photo == photo && kept.box == box; });
    kept_.push_front({photo, box, picture});
    if (kept_.size() <= kKeptPictures) return;
    // The oldest picture no longer wanted goes; the oldest of all when each is.
    const auto unwanted = std::find_if(kept_.rbegin(), kept_.rend(), [this](const Kept& kept) {
        return std::find(wanted_.begin(), wanted_.end(), kept.photo) == wanted_.end();
    });
    kept_.erase(unwanted == kept_.rend() ? std::prev(kept_.end()) : std::prev(unwanted.base()));
}

qint64 PreviewLoader::keptBytes() const {
    qint64 bytes = 0;
    for (const Kept& kept : kept_) bytes += kept.picture.image.sizeInBytes();
    return bytes;
}

quint64 PreviewLoader::load(const photo::OpenedPhoto& photo, const QSize& box) {
    cancel();
    const quint64 ticket = ticket_ = ++lastTicket_;
    const int descriptor = photo.file() ? photo.file()->descriptor() : -1;
    const std::optional<Identity> identity = identify(descriptor);

    wanted_.assign(identity ? 1 : 0, identity.value_or(Identity()));
    if (identity) {
        if (const Kept* kept = find(*identity, box)) {
            // Moved to the front: the photo shown is the last to be dropped.
            const Kept found = *kept;
            keep(found.photo, found.box, found.picture);
            QMetaObject::invokeMethod(
                this,
                [this, ticket, picture = found.picture] {
                    if (ticket == ticket_) {
                        ticket_ = 0;
                        emit loaded(ticket, picture);
                    }
                },
                Qt::QueuedConnection);
            return ticket;
        }
        if (preloading_ && preloading_->photo == *identity && preloading_->box == box) {
            waitsForPreload_ = true;
            preloads_.clear();
            return ticket;
        }
    }
    // The screen comes first: what was to be preloaded next may no longer be
    // a neighbour by the time it would start.
    preloads_.clear();
    // A photo that is not open still gets its answer, from the client.
    ++decodesAsked_;
    onScreen_ = Decoding{screen_.request(descriptor, hintOf(photo.format()), box),
                         identity.value_or(Identity()), box};
    return ticket;
}

void PreviewLoader::cancel() {
    if (onScreen_) screen_.cancel();
    onScreen_.reset();
    waitsForPreload_ = false;
    ticket_ = 0;
}

void PreviewLoader::screenDecoded(quint64 request, const sandbox::DecodedPicture& picture) {
    if (!onScreen_ || request != onScreen_->request) return;
    const Decoding decoded = *std::exchange(onScreen_, std::nullopt);
    if (decoded.photo != Identity()) keep(decoded.photo, decoded.box, picture);
    emit loaded(std::exchange(ticket_, 0), picture);
}

void PreviewLoader::preload(const QStringList& paths, const QSize& box) {
    if (!preloadingOn_) return;
    wanted_.resize(std::min<std::size_t>(wanted_.size(), 1));
    for (const QString& path : paths) {
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0)
            wanted_.push_back(identityOf(info));
    }
    preloads_.assign(paths.begin(), paths.end());
    preloadBox_ = box;
    preloadNext();
}

void PreviewLoader::preloadNext() {
    while (!preloading_ && !preloads_.empty()) {
        const QString path = preloads_.front();
        preloads_.pop_front();
        const photo::PhotoFile::Opened opened = photo::PhotoFile::open(path);
        if (!opened.file) continue;
        const photo::Recognition recognition = photo::recognise(*opened.file);
        const std::optional<Identity> identity = identify(opened.file->descriptor());
        if (recognition.verdict != photo::Recognition::Verdict::Ok || !identity ||
            find(*identity, preloadBox_))
            continue;
        ++decodesAsked_;
        preloading_ = Decoding{
            background_.request(opened.file->descriptor(), hintOf(recognition.format), preloadBox_),
            *identity, preloadBox_};
    }
}

void PreviewLoader::preloadDecoded(quint64 request, const sandbox::DecodedPicture& picture) {
    if (!preloading_ || request != preloading_->request) return;
    const Decoding decoded = *std::exchange(preloading_, std::nullopt);
    keep(decoded.photo, decoded.box, picture);
    if (std::exchange(waitsForPreload_, false) && ticket_ != 0)
        emit loaded(std::exchange(ticket_, 0), picture);
    preloadNext();
}

}  // namespace viewer
