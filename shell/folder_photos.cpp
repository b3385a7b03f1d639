#include "shell/folder_photos.h"

#include "shell/photo_types.h"

#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace shell {

// Qt's collator compares code points, numbers and all, in the C locale
// (as under LANG=C.UTF-8); the program's own Chinese then decides the order.
FolderPhotos::FolderPhotos()
    : collator_(QLocale().language() == QLocale::C ? QLocale(QLocale::Chinese, QLocale::China) : QLocale()) {
    collator_.setNumericMode(true);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

bool FolderPhotos::Before(const Entry& a, const Entry& b) {
    const int order = a.key.compare(b.key);
    return order != 0 ? order < 0 : a.name < b.name;
}

void FolderPhotos::Refresh(const QString& folder) {
    // The time is taken before the listing: a change during the listing
    // then shows as a newer time at the next step.
    const QDateTime modified = QFileInfo(folder).lastModified();
    if (folder == folder_ && modified == modified_ && modified.isValid()) return;
    folder_ = folder;
    modified_ = modified;
    entries_.clear();
    ++listings_;
    QDirIterator files(folder, QDir::Files);
    while (files.hasNext()) {
        files.next();
        const QString name = files.fileName();
        if (IsPhotoType(name)) entries_.push_back({name, collator_.sortKey(name)});
    }
    std::sort(entries_.begin(), entries_.end(), Before);
}

QString FolderPhotos::Neighbour(const QString& path, int step) {
    const QFileInfo current(path);
    Refresh(current.absolutePath());
    const auto count = static_cast<qint64>(entries_.size());
    if (count == 0 || step == 0) return QString();

    const Entry here{current.fileName(), collator_.sortKey(current.fileName())};
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), here, Before);
    const qint64 position = at - entries_.begin();
    const bool listed = at != entries_.end() && at->name == here.name;
    // Not listed, the path stands just before `position`: one step forward
    // lands on `position` itself.
    qint64 target = position + step - (!listed && step > 0 ? 1 : 0);
    target = ((target % count) + count) % count;
    return QDir(folder_).filePath(entries_[static_cast<std::size_t>(target)].name);
}

}  // namespace shell
