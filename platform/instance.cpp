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
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr char kMagic[4] = {'E', 'X', 'V', '1'};
constexpr int kHeaderBytes = 8;
constexpr char kTaken = '+';
constexpr int kReadTimeoutMs = 1000;
constexpr int kRetryMs = 50;

std::string RuntimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    }
    return "/tmp";
}

// The uid keeps users of a shared /tmp apart.
std::string UserFile(const std::string& name) {
    return RuntimeFolder() + "/" + name + "." + std::to_string(::getuid());
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

bool PrevInstance(const std::string& lockName) {
    // Kept open (and locked) until the process ends.
    static int lockFd = -1;
    if (lockFd >= 0) return false;

    const std::string path = UserFile(lockName);
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

QString InstanceSocketPath(const std::string& socketName) { return QString::fromStdString(UserFile(socketName)); }

QByteArray HandOverMessage(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    QByteArray message(kMagic, sizeof kMagic);
    char length[4];
    qToBigEndian(static_cast<quint32>(utf8.size()), length);
    message.append(length, sizeof length);
    return message + utf8;
}

bool HandOver(const QString& path, int timeoutMs, const QString& socketPath) {
    const QByteArray message = HandOverMessage(path);
    if (message.size() - kHeaderBytes > kHandOverMaxPathBytes) return false;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running copy may hold the lock but not listen yet: it is starting.
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(kRetryMs);
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken;
}

InstanceServer::InstanceServer(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::Listen() {
    if (server_->listen(socketPath_)) return true;
    QLocalServer::removeServer(socketPath_);
    return server_->listen(socketPath_);
}

void InstanceServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // One message and a byte more (to see that nothing follows it) is all
        // a connection may make this side hold.
        socket->setReadBufferSize(kHeaderBytes + kHandOverMaxPathBytes + 1);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        // A sender that stalls does not keep its connection.
        QTimer::singleShot(kReadTimeoutMs, socket, [socket] { socket->abort(); });
        Read(socket);
    }
}

void InstanceServer::Read(QLocalSocket* socket) {
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
    emit Received(*path);
}

}  // namespace platform
