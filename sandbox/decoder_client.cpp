#include "sandbox/decoder_client.h"

#include "sandbox/reply_check.h"
#include "sandbox/shared_picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace sandbox {
namespace {

QString startFailedReason() { return QStringLiteral("无法启动解码程序"); }
QString endedReason() { return QStringLiteral("解码程序意外退出"); }
QString refusedReplyReason() { return QStringLiteral("解码程序的回复无效，已停止"); }

QString timeoutReason(int milliseconds) {
    return QStringLiteral("解码超过 %1 秒，已停止").arg(milliseconds / 1000.0, 0, 'g', 3);
}

// Why a worker that was not killed here ended, from its wait status.
QString exitReason(int status) {
    if (WIFSIGNALED(status)) {
        switch (WTERMSIG(status)) {
        case SIGSYS: return QStringLiteral("解码程序试图越权操作，已被终止");
        case SIGXCPU: return QStringLiteral("解码用时超出限制，已停止");
        case SIGKILL: return QStringLiteral("解码程序被系统终止");
        default: return QStringLiteral("解码程序崩溃");
        }
    }
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case kExitOutOfMemory: return QStringLiteral("所需内存超出限制");
        case kExitNotConfined: return QStringLiteral("解码程序无法进入受限模式");
        case kExitFileShrank: return QStringLiteral("文件在读取时被截断");
        default: break;
        }
    }
    return endedReason();
}

bool validSize(const QSize& size) {
    return !size.isEmpty() && static_cast<std::uint32_t>(size.width()) <= kMaxPictureSide &&
           static_cast<std::uint32_t>(size.height()) <= kMaxPictureSide &&
           std::uint64_t(size.width()) * std::uint64_t(size.height()) * 4 <= kMaxPictureBytes;
}

QImage::Format qtFormat(PixelFormat format) {
    switch (format) {
    case PixelFormat::Argb32Premultiplied: return QImage::Format_ARGB32_Premultiplied;
    case PixelFormat::Grayscale8: return QImage::Format_Grayscale8;
    case PixelFormat::Rgb32:
    case PixelFormat::None: break;
    }
    return QImage::Format_RGB32;
}

// A read-only image over the mapped memory file; the mapping goes with the
// last copy of the image (a copy that is written to gets its own pixels).
QImage imageOver(MappedPicture mapped, const Reply& reply) {
    struct Mapping {
        const void* data;
        std::size_t length;
    };
    auto* mapping = new Mapping{nullptr, mapped.size()};
    mapping->data = mapped.release();
    QImage image(
        static_cast<const uchar*>(mapping->data), static_cast<int>(reply.width),
        static_cast<int>(reply.height), static_cast<qsizetype>(reply.stride),
        qtFormat(reply.pixelFormat),
        [](void* info) {
            auto* owned = static_cast<Mapping*>(info);
            MappedPicture::unmap(owned->data, owned->length);
            delete owned;
        },
        mapping);
    if (image.isNull()) {
        MappedPicture::unmap(mapping->data, mapping->length);
        delete mapping;
    }
    return image;
}

DecodedPicture failure(const QString& reason) {
    DecodedPicture picture;
    picture.reason = reason;
    return picture;
}

}  // namespace

struct DecoderClient::Pending {
    quint64 id = 0;
    UniqueFd photo;  // kept until answered, for a retry on a fresh worker
    FormatHint format = FormatHint::Unknown;
    QSize size;
    bool superseded = false;
    bool retried = false;
};

struct DecoderClient::Worker {
    WorkerProcess process;
    // Deleted later: a notifier may be the one whose signal is being handled.
    QSocketNotifier* messages = nullptr;
    QSocketNotifier* ended = nullptr;
    bool ready = false;
    bool socketClosed = false;  // by the worker, which may still run
    quint32 confinement = 0;

    ~Worker() {
        for (QSocketNotifier* notifier : {messages, ended}) {
            if (!notifier) continue;
            notifier->setEnabled(false);  // before its descriptor closes
            notifier->deleteLater();
        }
    }
    void closeSocket() {
        if (messages) messages->setEnabled(false);
        process.socket.reset();
    }
};

DecoderClient::DecoderClient(QObject* parent) : DecoderClient(Options(), parent) {}

DecoderClient::DecoderClient(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    qRegisterMetaType<sandbox::DecodedPicture>();
    if (options_.program.isEmpty()) options_.program = defaultProgram();
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &DecoderClient::deadlinePassed);
}

DecoderClient::~DecoderClient() {
    if (worker_) {
        killWorker(worker_->process);
        ending_.push_back(std::move(worker_));
    }
    // Killed workers end at once; each is waited for a moment so that none
    // is left a zombie, but never for long (one stuck in the kernel, on a
    // file system that hangs, is left to init).
    for (const std::unique_ptr<Worker>& worker : ending_) {
        killWorker(worker->process);
        pollfd ended{worker->process.pidfd.get(), POLLIN, 0};
        ::poll(&ended, 1, 100);
        reapWorker(worker->process.pid, nullptr);
    }
}

QString DecoderClient::defaultProgram() {
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral(EXIFVIEWER_WORKER_FROM_BINDIR)));
}

void DecoderClient::start() {
    if (!worker_) startWorker();
}

quint64 DecoderClient::request(int descriptor, FormatHint format, const QSize& size) {
    struct stat info {};
    const int mode = ::fcntl(descriptor, F_GETFL);
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || mode < 0 ||
        (mode & O_ACCMODE) != O_RDONLY)
        return submit(UniqueFd(), format, size, QStringLiteral("照片不是以只读方式打开的普通文件"));
    UniqueFd photo(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    const QString refusal = photo ? QString() : QStringLiteral("无法读取照片");
    return submit(std::move(photo), format, size, refusal);
}

quint64 DecoderClient::request(const QByteArray& bytes, FormatHint format, const QSize& size) {
    UniqueFd photo = sealedMemoryFile({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size())});
    const QString refusal = photo ? QString() : QStringLiteral("无法读取照片");
    return submit(std::move(photo), format, size, refusal);
}

void DecoderClient::cancel() {
    newest_ = 0;
    queued_.reset();
    supersedeInFlight();
}

qint64 DecoderClient::workerPid() const { return worker_ ? worker_->process.pid : 0; }

quint32 DecoderClient::confinement() const {
    return worker_ && worker_->ready ? worker_->confinement : 0;
}

quint64 DecoderClient::submit(UniqueFd photo, FormatHint format, const QSize& size,
                              QString refusal) {
    const quint64 id = ++lastId_;
    newest_ = id;
    queued_.reset();
    supersedeInFlight();
    if (refusal.isEmpty() && !validSize(size)) refusal = QStringLiteral("预览尺寸无效");
    if (refusal.isEmpty() && !worker_ && !startWorker()) refusal = startFailedReason();
    if (!refusal.isEmpty()) {
        // Answered from the event loop, like every other request.
        QMetaObject::invokeMethod(
            this,
            [this, id, refusal] {
                answer(id, failure(refusal));
                deliver();
            },
            Qt::QueuedConnection);
        return id;
    }
    queued_ = std::make_unique<Pending>();
    queued_->id = id;
    queued_->photo = std::move(photo);
    queued_->format = format;
    queued_->size = size;
    sendNext();
    return id;
}

void DecoderClient::supersedeInFlight() {
    if (!inFlight_ || inFlight_->superseded) return;
    inFlight_->superseded = true;
    if (deadline_.isActive() && deadline_.remainingTime() > options_.supersededGraceMs)
        deadline_.start(options_.supersededGraceMs);
}

bool DecoderClient::startWorker() {
    std::vector<std::string> arguments;
    for (const QString& argument : options_.arguments) arguments.push_back(argument.toStdString());
    Spawned spawned = spawnWorker(QFile::encodeName(options_.program).toStdString(), arguments);
    if (spawned.process.pid < 0) {
        qWarning("exifviewer: cannot start the decoder %s: %s", qPrintable(options_.program),
                 std::strerror(spawned.error));
        return false;
    }
    if (options_.background &&
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(spawned.process.pid), 19) != 0)
        qWarning("exifviewer: cannot lower the priority of the decoder: %s", std::strerror(errno));
    auto worker = std::make_unique<Worker>();
    worker->process = std::move(spawned.process);
    worker->messages = new QSocketNotifier(worker->process.socket.get(), QSocketNotifier::Read);
    connect(worker->messages, &QSocketNotifier::activated, this, &DecoderClient::readMessages);
    worker->ended = new QSocketNotifier(worker->process.pidfd.get(), QSocketNotifier::Read);
    Worker* started = worker.get();
    connect(worker->ended, &QSocketNotifier::activated, this,
            [this, started] { workerEnded(started); });
    worker_ = std::move(worker);
    deadline_.start(options_.startLimitMs);
    return true;
}

void DecoderClient::sendNext() {
    if (inFlight_ || !queued_ || !worker_ || !worker_->ready) return;
    inFlight_ = std::move(queued_);
    Request request;
    request.id = inFlight_->id;
    request.width = static_cast<std::uint32_t>(inFlight_->size.width());
    request.height = static_cast<std::uint32_t>(inFlight_->size.height());
    request.format = inFlight_->format;
    const int photo[] = {inFlight_->photo.get()};
    deadline_.start(options_.timeLimitMs);
    if (!sendMessage(worker_->process.socket.get(), encode(request), photo))
        stopWorker(endedReason());
}

void DecoderClient::readMessages() {
    drainMessages();
    deliver();
}

void DecoderClient::drainMessages() {
    // Handling a message may stop this worker (and start another).
    Worker* const reading = worker_.get();
    while (reading && worker_.get() == reading) {
        Received received = receiveMessage(reading->process.socket.get(), false);
        if (received.status == Received::Status::WouldBlock) break;
        if (received.status != Received::Status::Message) {
            // Ended or ending: its exit status says why. One that closed its
            // end and lives on is killed at its deadline.
            reading->messages->setEnabled(false);
            reading->socketClosed = true;
            if (!deadline_.isActive() || deadline_.remainingTime() > options_.supersededGraceMs)
                deadline_.start(options_.supersededGraceMs);
            break;
        }
        handleMessage(std::move(received));
    }
}

void DecoderClient::handleMessage(Received&& received) {
    const std::optional<MessageKind> kind = kindOf(received.bytes);
    if (kind == MessageKind::Ready && !worker_->ready) {
        const Parsed<Ready> ready = parseReady(received.bytes);
        if (!ready.message || received.truncated || received.foreignControl ||
            !received.descriptors.empty()) {
            qWarning("exifviewer: decoder's first message refused: %s",
                     describe(ready.message ? Fault::DescriptorCount : ready.fault));
            stopWorker(startFailedReason());
            return;
        }
        worker_->ready = true;
        worker_->confinement = ready.message->confinement;
        deadline_.stop();
        const qint64 pid = worker_->process.pid;
        const quint32 confinement = worker_->confinement;
        sendNext();
        emit workerReady(pid, confinement);
        return;
    }
    if (kind != MessageKind::Reply || !inFlight_) {
        qWarning("exifviewer: decoder sent a message out of turn");
        stopWorker(refusedReplyReason());
        return;
    }
    AcceptedReply accepted = acceptReply(std::move(received), inFlight_->id,
                                         static_cast<std::uint32_t>(inFlight_->size.width()),
                                         static_cast<std::uint32_t>(inFlight_->size.height()));
    if (accepted.fault != Fault::None) {
        qWarning("exifviewer: decoder's reply refused: %s", describe(accepted.fault));
        stopWorker(refusedReplyReason());
        return;
    }
    const Reply& reply = accepted.reply;
    DecodedPicture picture;
    picture.photoSize =
        QSize(static_cast<int>(reply.photoWidth), static_cast<int>(reply.photoHeight));
    picture.orientation = reply.orientation;
    if (reply.status == ReplyStatus::Picture) {
        picture.image = imageOver(std::move(accepted.picture), reply);
        if (picture.image.isNull()) picture.reason = QStringLiteral("无法显示预览");
    } else {
        picture.reason =
            QString::fromUtf8(reply.reason.data(), static_cast<qsizetype>(reply.reason.size()));
    }
    finishInFlight(std::move(picture));
    sendNext();
}

void DecoderClient::finishInFlight(DecodedPicture picture) {
    if (!inFlight_) return;
    const quint64 id = inFlight_->id;
    inFlight_.reset();
    deadline_.stop();
    answer(id, std::move(picture));
}

void DecoderClient::stopWorker(const QString& reason) {
    if (!worker_) return;
    const bool wasReady = worker_->ready;
    killWorker(worker_->process);
    worker_->closeSocket();
    ending_.push_back(std::move(worker_));
    deadline_.stop();
    afterWorker(reason, wasReady, false);
}

void DecoderClient::workerEnded(Worker* ended) {
    if (worker_.get() == ended) {
        // What it sent before it ended counts (a reply, then retiring).
        drainMessages();
    }
    int status = 0;
    if (worker_.get() == ended) {
        const bool wasReady = ended->ready;
        const bool reaped = reapWorker(ended->process.pid, &status);
        std::unique_ptr<Worker> gone = std::move(worker_);
        deadline_.stop();
        if (!reaped) {
            // A readable pidfd with nothing to reap: not a state a live
            // process can be in; treat it as ended, and kill to be sure.
            killWorker(gone->process);
            gone->closeSocket();
            ending_.push_back(std::move(gone));
        }
        const bool retired = WIFEXITED(status) && WEXITSTATUS(status) == kExitRetired;
        afterWorker(reaped ? exitReason(status) : endedReason(), wasReady, retired);
    } else {
        const auto found = std::find_if(
            ending_.begin(), ending_.end(),
            [&](const std::unique_ptr<Worker>& worker) { return worker.get() == ended; });
        if (found != ending_.end() && reapWorker((*found)->process.pid, &status))
            ending_.erase(found);
    }
    deliver();
}

void DecoderClient::afterWorker(const QString& reason, bool wasReady, bool retry) {
    if (inFlight_) {
        // A worker that retired between requests may have taken one more:
        // it goes once more to the next worker.
        if (retry && !inFlight_->retried && !queued_ && !inFlight_->superseded) {
            inFlight_->retried = true;
            queued_ = std::move(inFlight_);
        } else {
            finishInFlight(failure(reason));
        }
    }
    if (!wasReady) {
        // It never got as far as its first message: starting another now
        // would only fail the same way. The next request tries again.
        if (queued_) answer(queued_->id, failure(startFailedReason()));
        queued_.reset();
        return;
    }
    // Kept warm: the next worker starts now, whether or not a request waits.
    if (!startWorker() && queued_) {
        answer(queued_->id, failure(startFailedReason()));
        queued_.reset();
    }
}

void DecoderClient::deadlinePassed() {
    if (!worker_) return;
    if (!worker_->ready) stopWorker(startFailedReason());
    else if (inFlight_ && !worker_->socketClosed) stopWorker(timeoutReason(options_.timeLimitMs));
    else stopWorker(endedReason());
    deliver();
}

void DecoderClient::answer(quint64 id, DecodedPicture picture) {
    answers_.emplace_back(id, std::move(picture));
}

void DecoderClient::deliver() {
    std::vector<std::pair<quint64, DecodedPicture>> answers;
    answers.swap(answers_);
    for (auto& [id, picture] : answers) {
        if (id == newest_) emit decoded(id, picture);
    }
}

}  // namespace sandbox
