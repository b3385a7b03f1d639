// The photo panel's way to a photo's picture: the decoder worker draws it
// from the opened file (the descriptor is handed over), fitted within a box
// of device pixels, and the answer comes back in the event loop. The only
// road from a photo's bytes to the screen: no decoder runs in the viewer.
//
// A loader answers its newest request only: a newer load supersedes the one
// before, which is never answered (and whose decode is stopped if it runs
// on). Whoever needs pictures of its own at the same time (the large view)
// takes a loader of its own.
//
// Photos the user is likely to ask for next (a folder's neighbours) can be
// preloaded: a second worker decodes them one by one while the first stays
// free for the screen, and the last few pictures are kept, so that load()
// answers them without a decode. A load of a photo not at hand drops the
// preloads not yet started; the one decoding runs on (killing it would cost
// a worker's restart), and a load of that very photo waits for it.
#pragma once

#include "sandbox/decoder_client.h"

#include <QObject>
#include <QSize>
#include <QStringList>
#include <deque>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace photo {
class OpenedPhoto;
}

namespace viewer {

class PreviewLoader : public QObject {
    Q_OBJECT

public:
    // How many photos' pictures are kept: the one shown and three neighbours.
    static constexpr std::size_t kKeptPictures = 4;

    // The installed worker, with its time limits, unless `options` say else.
    explicit PreviewLoader(QObject* parent = nullptr);
    explicit PreviewLoader(sandbox::DecoderClient::Options options, QObject* parent = nullptr);

    // Starts the worker without waiting for it, so that it is warm by the
    // first photo.
    void start();

    // Asks for the picture of `photo` (open) fitted within `box` device
    // pixels, keeping its aspect. Returns the ticket loaded() answers with,
    // later, never within this call.
    quint64 load(const photo::OpenedPhoto& photo, const QSize& box);
    // Withdraws the current request: it is not answered.
    void cancel();

    // Decodes the photos at `paths`, in this order, fitted within `box`, in
    // the background, for load() to find at hand. Replaces the preloads asked
    // for before that have not started; a path that is not a photo is passed
    // over.
    void preload(const QStringList& paths, const QSize& box);
    // Off, preload() does nothing (to compare with and without it).
    void setPreloading(bool on) { preloadingOn_ = on; }
    // Whether a preload is decoding or waiting for its turn.
    bool preloading() const { return preloading_.has_value() || !preloads_.empty(); }
    // How many decodes the workers were asked for, preloads included: a
    // picture found at hand costs none.
    int decodesAsked() const { return decodesAsked_; }
    // The bytes of the pictures kept.
    qint64 keptBytes() const;

    // The running worker's process id, 0 when none runs, and the
    // confinement it reached (sandbox::Confinement bits), 0 until it is ready.
    qint64 workerPid() const { return screen_.workerPid(); }
    quint32 confinement() const { return screen_.confinement(); }
    // The same for the worker that preloads.
    qint64 preloadWorkerPid() const { return background_.workerPid(); }

signals:
    // The picture, or no picture and the reason; `photoSize` is the photo's
    // upright size when its header could be read.
    void loaded(quint64 ticket, const sandbox::DecodedPicture& picture);

private:
    // A file as opened: a photo rewritten or replaced since is another.
    struct Identity {
        quint64 device = 0, inode = 0;
        qint64 size = 0, modifiedNs = 0, changedNs = 0;
        bool operator==(const Identity&) const = default;
    };
    struct Kept {
        Identity photo;
        QSize box;
        sandbox::DecodedPicture picture;
    };
    struct Decoding {
        quint64 request = 0;
        Identity photo;
        QSize box;
    };

    static Identity identityOf(const struct ::stat& info);
    static std::optional<Identity> identify(int descriptor);
    const Kept* find(const Identity& photo, const QSize& box) const;
    void keep(const Identity& photo, const QSize& box, const sandbox::DecodedPicture& picture);
    void preloadNext();
    void screenDecoded(quint64 request, const sandbox::DecodedPicture& picture);
    void preloadDecoded(quint64 request, const sandbox::DecodedPicture& picture);

    sandbox::DecoderClient screen_;
    sandbox::DecoderClient background_;
    quint64 lastTicket_ = 0;
    quint64 ticket_ = 0;  // the one to answer; 0 for none
    // What answers it: a decode on screen_, or the preload decoding.
    std::optional<Decoding> onScreen_;
    bool waitsForPreload_ = false;
    QSize preloadBox_;
    std::deque<QString> preloads_;
    std::optional<Decoding> preloading_;
    std::deque<Kept> kept_;  // the newest first
    // The photo shown and those preloaded for it: the last to be dropped.
    std::vector<Identity> wanted_;
    int decodesAsked_ = 0;
    bool preloadingOn_ = true;
};

}  // namespace viewer
