#include "shell/folder_photos.h"

#include "shell/photo_types.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace viewer {
namespace {

// Qt's collator compares code points, numbers and all, in the C locale
// (as under LANG=C.UTF-8); the program's own Chinese then decides the order.
QCollator NaturalOrder(const QLocale& locale) {
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::Chinese, QLocale::China)
                                                       : locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

}  // namespace

FolderPhotos::FolderPhotos() : collator_(NaturalOrder(QLocale())) {}

// A reading still under way finishes before its folder's list goes.
FolderPhotos::~FolderPhotos() {
    if (pending_.isValid()) pending_.waitForFinished();
}

bool FolderPhotos::before(const Entry& a, const Entry& b) {
    const int order = a.key.compare(b.key);
    return order != 0 ? order < 0 : a.name < b.name;
}

FolderPhotos::Listing FolderPhotos::read(const QString& folder, const QLocale& locale) {
    const QCollator collator = NaturalOrder(locale);
    Listing listing;
    listing.folder = folder;
    // The time is taken before the listing: a change during the listing
    // then shows as a newer time at the next step.
    listing.modified = QFileInfo(folder).lastModified();
    QDirIterator files(folder, QDir::Files);
    while (files.hasNext()) {
        files.next();
        const QString name = files.fileName();
        if (isPhotoType(name)) listing.entries.push_back({name, collator.sortKey(name)});
    }
    std::sort(listing.entries.begin(), listing.entries.end(), before);
    return listing;
}

bool FolderPhotos::readAndUnchanged(const QString& folder) const {
    const QDateTime modified = QFileInfo(folder).lastModified();
    return folder == listing_.folder && modified == listing_.modified && modified.isValid();
}

void FolderPhotos::prefetch(const QString& photo) {
    const QString folder = QFileInfo(photo).absolutePath();
    if (pending_.isValid() && pendingFolder_ == folder) return;
    if (readAndUnchanged(folder)) return;
    pendingFolder_ = folder;
    pending_ = QtConcurrent::run(&FolderPhotos::read, folder, collator_.locale());
    watcher_ = std::make_unique<QFutureWatcher<Listing>>();
    watcher_->setFuture(pending_);
    ++listings_;
}

bool FolderPhotos::listed(const QString& photo) const {
    const QString folder = QFileInfo(photo).absolutePath();
    if (pending_.isValid() && pendingFolder_ == folder) return pending_.isFinished();
    return readAndUnchanged(folder);
}

void FolderPhotos::whenListed(QObject* context, std::function<void()> then) {
    if (!pending_.isValid() || pending_.isFinished()) {
        then();
        return;
    }
    QObject::connect(watcher_.get(), &QFutureWatcherBase::finished, context, std::move(then),
                     Qt::SingleShotConnection);
}

void FolderPhotos::refresh(const QString& folder) {
    if (pending_.isValid() && pendingFolder_ == folder) {
        listing_ = pending_.takeResult();
        pending_ = QFuture<Listing>();
        watcher_.reset();
        pendingFolder_.clear();
    }
    if (readAndUnchanged(folder)) return;
    listing_ = read(folder, collator_.locale());
    ++listings_;
}

QString FolderPhotos::neighbour(const QString& path, int step) {
    const QFileInfo current(path);
    refresh(current.absolutePath());
    const std::vector<Entry>& entries = listing_.entries;
    const auto count = static_cast<qint64>(entries.size());
    if (count == 0 || step == 0) return QString();

    const Entry here{current.fileName(), collator_.sortKey(current.fileName())};
    const auto at = std::lower_bound(entries.begin(), entries.end(), here, before);
    const qint64 position = at - entries.begin();
    const bool listed = at != entries.end() && at->name == here.name;
    // Not listed, the path stands just before `position`: one step forward
    // lands on `position` itself.
    qint64 target = position + step - (!listed && step > 0 ? 1 : 0);
    target = ((target % count) + count) % count;
    return QDir(listing_.folder).filePath(entries[static_cast<std::size_t>(target)].name);
}

}  // namespace viewer
