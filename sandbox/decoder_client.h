// The viewer's side of the decoder worker. It starts the worker once, in
// the background, and keeps it warm; sends it one photo at a time; waits for
// the answer in the event loop, never blocking the thread it lives in; and
// takes nothing from it on trust: a reply is checked field by field before
// its picture is mapped (read-only) into a QImage. A worker that runs past
// the time limit, dies, or answers out of turn is killed and started again;
// the request it held gets the reason.
//
// A panel uses it as: open the photo and show its metadata at once, call
// request() with the opened descriptor and the preview's size, and draw the
// picture (or "无法预览" with the reason) when decoded() comes with that id.
// Opening another photo simply requests again: the older request is then
// never answered, and its decode is stopped if it runs on.
#pragma once

#include "sandbox/channel.h"
#include "sandbox/protocol.h"
#include "sandbox/worker_process.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace sandbox {

struct DecodedPicture {
    QImage image;         // upright, fitted within the size asked for; null when there is none
    QSize photoSize;      // the photo's own size, upright; empty when unknown
    int orientation = 1;  // the Exif orientation its stored pixels were turned by
    QString reason;       // why there is no picture, for the user
    bool ok() const { return !image.isNull(); }
};

class DecoderClient : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString program;  // the worker; defaultProgram() when empty
        QStringList arguments;
        // How long one decode may take before the worker is killed.
        int timeLimitMs = 5000;
        // How long a decode that a newer request superseded may still run.
        int supersededGraceMs = 200;
        // How long the worker may take to load its decoders and confine itself.
        int startLimitMs = 10000;
        // Runs at the lowest processor priority: work nobody waits for yet
        // gives way to the screen's decode and the window.
        bool background = false;
    };

    explicit DecoderClient(QObject* parent = nullptr);
    explicit DecoderClient(Options options, QObject* parent = nullptr);
    ~DecoderClient() override;

    // The installed worker, found from this program's own folder.
    static QString defaultProgram();

    // Starts the worker without waiting for it: call it as the viewer starts.
    // request() starts it too when it is not running.
    void start();

    // Asks for the photo open at `descriptor` (a regular file opened
    // read-only; duplicated, the caller keeps its own) as a picture fitted
    // within `size` device pixels, upright, keeping its aspect. Returns the
    // request's id; decoded() answers it later, never within this call.
    // Only the newest request is answered.
    quint64 request(int descriptor, FormatHint format, const QSize& size);
    // The same for a photo held in memory (a preview taken out of a
    // container file); the bytes are copied into a sealed memory file.
    quint64 request(const QByteArray& bytes, FormatHint format, const QSize& size);
    // Withdraws the current request: it is not answered.
    void cancel();

    // The running worker's process id, 0 when none runs.
    qint64 workerPid() const;
    // The confinement the running worker reached (Confinement bits), once
    // it is ready; 0 before.
    quint32 confinement() const;

signals:
    void decoded(quint64 id, const sandbox::DecodedPicture& picture);
    // A worker is confined and waiting for requests.
    void workerReady(qint64 pid, quint32 confinement);

private:
    struct Pending;
    struct Worker;

    quint64 submit(UniqueFd photo, FormatHint format, const QSize& size, QString refusal);
    bool startWorker();
    void sendNext();
    void readMessages();
    void drainMessages();
    void handleMessage(Received&& message);
    void workerEnded(Worker* worker);
    void deadlinePassed();
    // Kills the current worker; the request it held gets `reason`.
    void stopWorker(const QString& reason);
    // After the current worker ended or was stopped: answers or retries the
    // request it held, and starts the next worker.
    void afterWorker(const QString& reason, bool wasReady, bool retry);
    void finishInFlight(DecodedPicture picture);
    void supersedeInFlight();
    // Answers are collected while the state changes and emitted at the end
    // of each event, so a slot that requests again finds it consistent.
    void answer(quint64 id, DecodedPicture picture);
    void deliver();

    Options options_;
    quint64 lastId_ = 0;
    quint64 newest_ = 0;  // the request that will be answered; 0 for none
    std::vector<std::pair<quint64, DecodedPicture>> answers_;
    std::unique_ptr<Worker> worker_;
    // Killed, and waited for without blocking.
    std::vector<std::unique_ptr<Worker>> ending_;
    std::unique_ptr<Pending> inFlight_;
    std::unique_ptr<Pending> queued_;
    QTimer deadline_;
};

}  // namespace sandbox

Q_DECLARE_METATYPE(sandbox::DecodedPicture)
