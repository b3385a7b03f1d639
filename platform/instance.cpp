#include "platform/instance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

constexpr char kMagic[4] = {'E', 'X', 'V', '1'};
constexpr int kHeaderBytes = 8;
constexpr char kTaken = '+';
constexpr int kReadTimeoutMs = 1000;
constexpr int kRetryMs = 50;

// The lock of the first copy, held until the process ends or works alone.
int lockFd = -1;

// A folder only this user owns and can enter: a real folder, not a link,
// with no rights for anyone else. Another user who made it first, or a link
// planted at its name, fails the check.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

// Where the lock and the socket live; empty when there is no private place
// for them. A folder in /tmp has a name anyone can guess, so it is made with
// no rights for others and checked after, whoever made it.
std::string RuntimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir && IsPrivateFolder(dir))
        return dir;
    const std::string own = "/tmp/exifviewer-" + std::to_string(::geteuid());
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return {};
    return IsPrivateFolder(own) ? own : std::string();
}

std::string UserFile(const std::string& name) {
    const std::string folder = RuntimeFolder();
    return folder.empty() ? folder : folder + "/" + name;
}

// Only a copy of this program run by the same user may receive a path.
bool PeerIsThisUser(const QLocalSocket& socket) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                        &size) == 0 &&
           size == sizeof peer && peer.uid == ::geteuid();
}

// The path a complete message carries; nothing when it breaks a rule.
std::optional<QString> CheckedPath(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString path = utf8.decode(bytes);
    if (utf8.hasError() || path.contains(QChar(0))) return std::nullopt;
    if (!path.isEmpty() && !path.startsWith(QLatin1Char('/'))) return std::nullopt;
    return path;
}

}  // namespace

bool anotherCopyRunning(const std::string& lockName) {
    if (lockFd >= 0) return false;

    const std::string path = UserFile(lockName);
    if (path.empty()) return false;  // nowhere safe to lock: this copy works alone
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;  // no lock to be had: better a second copy than none
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldByOther = errno == EWOULDBLOCK;
        ::close(fd);
        return heldByOther;
    }
    lockFd = fd;
    return false;
}

void workAlone() {
    if (lockFd >= 0) ::close(std::exchange(lockFd, -1));
}

QString instanceSocketPath(const std::string& socketName) {
    return QString::fromStdString(UserFile(socketName));
}

QByteArray handOverMessage(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    QByteArray message(kMagic, sizeof kMagic);
    char length[4];
    qToBigEndian(static_cast<quint32>(utf8.size()), length);
    message.append(length, sizeof length);
    return message + utf8;
}

bool handOver(const QString& path, int timeoutMs, const QString& socketPath) {
    const QByteArray message = handOverMessage(path);
    if (message.size() - kHeaderBytes > kHandOverMaxPathBytes) return false;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running copy may hold the lock but not listen yet: it is starting.
    if (socketPath.isEmpty()) return false;
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(kRetryMs);
    }
    if (!PeerIsThisUser(socket)) return false;
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() ||
            !socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken;
}

InstanceServer::InstanceServer(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen() {
    if (socketPath_.isEmpty()) return false;
    if (server_->listen(socketPath_)) return true;
    QLocalServer::removeServer(socketPath_);
    return server_->listen(socketPath_);
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // One message and a byte more (to see that nothing follows it) is all
        // a connection may make this side hold.
        socket->setReadBufferSize(kHeaderBytes + kHandOverMaxPathBytes + 1);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        // A sender that stalls does not keep its connection.
        QTimer::singleShot(kReadTimeoutMs, socket, [socket] { socket->abort(); });
        read(socket);
    }
}

void InstanceServer::read(QLocalSocket* socket) {
    if (socket->bytesAvailable() < kHeaderBytes) return;
    const QByteArray header = socket->peek(kHeaderBytes);
    const quint32 length = qFromBigEndian<quint32>(header.constData() + sizeof kMagic);
    if (!header.startsWith(QByteArray(kMagic, sizeof kMagic)) || length > kHandOverMaxPathBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kHeaderBytes + static_cast<qint64>(length)) return;
    socket->skip(kHeaderBytes);
    const std::optional<QString> path = CheckedPath(socket->read(length));
    if (!path || socket->bytesAvailable() > 0) {
        socket->abort();
        return;
    }
    socket->putChar(kTaken);
    socket->flush();
    socket->disconnectFromServer();
    emit received(*path);
}

}  // namespace platform
