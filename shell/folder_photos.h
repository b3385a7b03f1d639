// The photos of one folder in the order a file manager shows them (natural
// order: IMG_2 before IMG_10), for stepping through them with the keys.
//
// A folder is read once and kept; it is read again only when another folder
// is asked for or its modification time has changed (a file added, removed
// or renamed), so a key press in a folder of thousands of photos costs one
// look at the folder's time. The reading itself (tens of milliseconds for
// thousands of files) can start in the background as soon as a photo opens,
// so that even the first key press finds the folder read.
#pragma once

#include <QCollator>
#include <QCollatorSortKey>
#include <QDateTime>
#include <QFuture>
#include <QFutureWatcher>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace viewer {

class FolderPhotos {
public:
    FolderPhotos();
    ~FolderPhotos();

    // Starts reading the folder of `photo` on a worker thread, unless it is
    // the folder already read and unchanged, or being read.
    void prefetch(const QString& photo);

    // The photo `step` places after `path` (before it for a negative step)
    // among the photos of its folder, wrapping at the ends. `path` need not
    // be one of them (a file of another type, or one deleted meanwhile): the
    // step counts from where it would stand. Empty when the folder holds no
    // photo.
    QString neighbour(const QString& path, int step);

    // Whether the folder of `photo` is read and unchanged, or its reading
    // has finished: neighbour() then answers without reading it.
    bool listed(const QString& photo) const;
    // Calls `then` in `context`'s thread once the reading prefetch() started
    // has finished; at once when none is under way.
    void whenListed(QObject* context, std::function<void()> then);

    // How often a folder has been read.
    int listings() const { return listings_; }

private:
    struct Entry {
        QString name;
        QCollatorSortKey key;
    };
    struct Listing {
        QString folder;
        QDateTime modified;
        std::vector<Entry> entries;
    };

    // Reads and sorts a folder; touches nothing shared, so it runs on any thread.
    static Listing read(const QString& folder, const QLocale& locale);
    void refresh(const QString& folder);
    // Whether the listing kept is of `folder` as it is now.
    bool readAndUnchanged(const QString& folder) const;
    // True when a sorts before b: natural order, then code points, so that
    // names the collator finds equal (IMG.jpg, img.jpg) keep a fixed order.
    static bool before(const Entry& a, const Entry& b);

    QCollator collator_;
    Listing listing_;
    QString pendingFolder_;
    QFuture<Listing> pending_;
    std::unique_ptr<QFutureWatcher<Listing>> watcher_;
    int listings_ = 0;
};

}  // namespace viewer
