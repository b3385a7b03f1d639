// The photo panel's way to a photo's picture: the decoder worker draws it
// from the opened file (the descriptor is handed over), fitted within a box
// of device pixels, and the answer comes back in the event loop. The only
// road from a photo's bytes to the screen: no decoder runs in the viewer.
//
// A loader answers its newest request only: a newer load supersedes the one
// before, which is never answered (and whose decode is stopped if it runs
// on). Whoever needs pictures of its own at the same time (the large view)
// takes a loader of its own. Preloading a folder's neighbours and keeping a
// few previews at hand belong here, behind load().
#pragma once

#include "sandbox/decoder_client.h"

#include <QObject>
#include <QSize>

namespace photo {
class OpenedPhoto;
}

namespace viewer {

class PreviewLoader : public QObject {
    Q_OBJECT

public:
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

    // The running worker's process id, 0 when none runs, and the
    // confinement it reached (sandbox::Confinement bits), 0 until it is ready.
    qint64 workerPid() const { return client_.workerPid(); }
    quint32 confinement() const { return client_.confinement(); }

signals:
    // The picture, or no picture and the reason; `photoSize` is the photo's
    // upright size when its header could be read.
    void loaded(quint64 ticket, const sandbox::DecodedPicture& picture);

private:
    sandbox::DecoderClient client_;
};

}  // namespace viewer
