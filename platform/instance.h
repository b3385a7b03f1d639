// One viewer per user: the previous-instance test of start-up, and the
// hand-over of a photo from a second start to the running viewer.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace platform {

// True when another copy of this program runs for this user. The first copy
// holds an advisory lock for its whole life; the kernel drops the lock when
// the process ends, however it ends, so a crashed copy never blocks a start.
// `lockName` names the lock file inside the user's runtime folder. Asking
// again after a true answer tries the lock again.
//
// The runtime folder is one only this user owns and can enter:
// XDG_RUNTIME_DIR when it passes that check, else a folder of our own in
// /tmp that must pass it too. Without one there is no lock (false: this copy
// works alone) and no socket.
bool anotherCopyRunning(const std::string& lockName = "exifviewer.lock");

// Gives up the lock, for a first copy that cannot take hand-overs: later
// starts then work alone rather than wait on a copy that never answers.
void workAlone();

// The hand-over socket of this user, beside the lock in the runtime folder;
// empty when there is no private runtime folder.
QString instanceSocketPath(const std::string& socketName = "exifviewer.socket");

// A message on the socket: "EXV1", the length of the path in 4 bytes (big
// endian), the path in UTF-8. An empty path asks only to come to the front.
inline constexpr int kHandOverMaxPathBytes = 4096;  // PATH_MAX
QByteArray handOverMessage(const QString& path);

// The second start's side: sends the photo's absolute path (or nothing) to
// the running copy and waits until it has taken it. False when no running
// copy answered within `timeoutMs` (one that is still starting gets that long
// to start listening), and before anything is sent when the socket's other
// end is not a process of this user.
bool handOver(const QString& path, int timeoutMs = 5000,
              const QString& socketPath = instanceSocketPath());

// The running copy's side. Every byte that arrives is checked: a message
// that is too long, not UTF-8, holds a NUL, names a relative path or is not
// complete within a second is dropped, and its connection closed.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(const QString& socketPath = instanceSocketPath(),
                            QObject* parent = nullptr);
    ~InstanceServer() override;

    // Starts listening. Only the copy that holds the lock calls this, so a
    // socket file already there was left by a copy that died: it is
    // replaced. False when the socket cannot be made.
    bool listen();
    QString socketPath() const { return socketPath_; }

signals:
    // A second start handed over `path` (absolute), or nothing (empty).
    void received(const QString& path);

private:
    void accept();
    void read(QLocalSocket* socket);

    QString socketPath_;
    QLocalServer* server_;
};

}  // namespace platform
