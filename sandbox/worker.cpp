#include "sandbox/worker.h"

#include "sandbox/channel.h"
#include "sandbox/confinement.h"
#include "sandbox/protocol.h"
#include "sandbox/shared_picture.h"

#include "photo/photo_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <new>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

// In the sanitizer build the worker's own sanitizers must live within the
// filter: no leak check at exit (it traces the process), no crash report of
// their own (it reads /proc and starts a symbolizer), so that a crash ends
// the worker with its signal, as in the real build.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0:handle_segv=0:handle_sigbus=0:handle_abort=0:handle_sigfpe=0:handle_"
           "sigill=0:symbolize=0";
}
extern "C" const char* __ubsan_default_options() { return "symbolize=0:print_stacktrace=0"; }
#endif

namespace sandbox {
namespace {

// A photo mapped for reading that another program cut short meanwhile: the
// page gone raises SIGBUS, and the worker ends with the reason. Any other
// SIGBUS goes on to the default action (SA_RESETHAND), ending it as a crash.
void onBusError(int, siginfo_t*, void*) {
    if (photo::PhotoFile::mappingsAlive() > 0) ::_exit(kExitFileShrank);
}

bool isViewerSocket(int descriptor) {
    int type = 0;
    socklen_t length = sizeof(type);
    return ::getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) == 0 &&
           type == SOCK_SEQPACKET;
}

// The reason as one line of text within kMaxReasonBytes, cut at a character.
std::string reasonLine(const QString& reason) {
    QString line;
    for (const char32_t c : reason.toUcs4())
        line += QChar::isPrint(c) ? QString::fromUcs4(&c, 1) : QStringLiteral(" ");
    line = line.simplified();
    QByteArray bytes = line.toUtf8();
    while (static_cast<std::size_t>(bytes.size()) > kMaxReasonBytes) {
        line.chop(1);
        bytes = line.toUtf8();
    }
    std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return !text.empty() && isReasonText(text) ? text : std::string("无法预览");
}

// The picture in a layout the viewer takes as it is.
QImage wireImage(QImage picture, const QSize& target) {
    if (picture.width() > target.width() || picture.height() > target.height())
        picture = picture.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_Grayscale8: return picture;
    default:
        return picture.convertToFormat(
            picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    }
}

PixelFormat wireFormat(QImage::Format format) {
    switch (format) {
    case QImage::Format_ARGB32_Premultiplied: return PixelFormat::Argb32Premultiplied;
    case QImage::Format_Grayscale8: return PixelFormat::Grayscale8;
    default: return PixelFormat::Rgb32;
    }
}

std::uint32_t photoSide(int side) {
    return static_cast<std::uint32_t>(std::clamp<qint64>(side, 0, kMaxPhotoSide));
}

bool sendOutcome(int socket, const Request& request, const DecodeOutcome& outcome) {
    Reply reply;
    reply.id = request.id;
    reply.photoWidth = photoSide(outcome.photoSize.width());
    reply.photoHeight = photoSide(outcome.photoSize.height());
    reply.orientation = static_cast<std::uint16_t>(
        outcome.orientation >= 1 && outcome.orientation <= 8 ? outcome.orientation : 1);
    UniqueFd pixels;
    if (!outcome.picture.isNull()) {
        const QImage picture = wireImage(outcome.picture, QSize(static_cast<int>(request.width),
                                                                static_cast<int>(request.height)));
        pixels = sealedMemoryFile(
            {picture.constBits(), static_cast<std::size_t>(picture.sizeInBytes())});
        if (pixels) {
            reply.status = ReplyStatus::Picture;
            reply.pixelFormat = wireFormat(picture.format());
            reply.width = static_cast<std::uint32_t>(picture.width());
            reply.height = static_cast<std::uint32_t>(picture.height());
            reply.stride = static_cast<std::uint32_t>(picture.bytesPerLine());
        }
    }
    if (reply.status != ReplyStatus::Picture) {
        reply.status = ReplyStatus::Failed;
        reply.reason =
            reasonLine(outcome.picture.isNull() ? outcome.reason : QStringLiteral("无法传送预览"));
    }
    const int descriptors[] = {pixels.get()};
    return sendMessage(socket, encode(reply),
                       pixels ? std::span<const int>(descriptors) : std::span<const int>());
}

int serve(int socket, const Decoders& decoders) {
    bool heapWarm = false;
    for (;;) {
        if (!heapWarm) heapWarm = warmHeap([socket] { return somethingWaiting(socket); });
        Received received = receiveMessage(socket, true);
        if (received.status == Received::Status::Closed) return 0;
        const Parsed<Request> parsed =
            received.status == Received::Status::Message && !received.truncated
                ? parseRequest(received.bytes)
                : Parsed<Request>{std::nullopt, Fault::Truncated};
        if (!parsed.message || received.descriptors.size() != 1 || received.descriptorsTruncated) {
            std::fprintf(
                stderr, "exifviewer-decoder: request refused: %s\n",
                parsed.message ? describe(Fault::DescriptorCount) : describe(parsed.fault));
            return kExitProtocol;
        }
        const Request& request = *parsed.message;
        DecodeOutcome outcome;
        bool outOfMemory = false;
        try {
            outcome = decoders.decode(DecodeRequest{
                request.id, received.descriptors.front().get(),
                QSize(static_cast<int>(request.width), static_cast<int>(request.height)),
                request.format});
        } catch (const std::bad_alloc&) {
            // Whatever held the memory is released; the decoder's state may
            // not be sound any more, so this worker answers and retires.
            outOfMemory = true;
            outcome = DecodeOutcome();
            outcome.reason = QStringLiteral("所需内存超出限制");
        }
        received.descriptors.clear();
        // The outcome, and the photo's mapping with it, is let go of after
        // the reply: unmapping is no part of the wait.
        if (!sendOutcome(socket, request, outcome)) return 0;  // the viewer is gone
        if (outOfMemory) return kExitOutOfMemory;
        if (processorSeconds() > kRetireAfterProcessorSeconds) return kExitRetired;
    }
}

}  // namespace

void keepBuffersOnTheHeap() {
    // glibc's largest threshold; larger buffers are mapped for each photo.
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapBufferBytes));
    // Free memory at the heap's top is given back only beyond that, not in
    // the middle of a decode, and then down to what is kept warm.
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapBufferBytes));
    ::mallopt(M_TOP_PAD, static_cast<int>(kWarmHeapBytes));
}

bool warmHeap(const std::function<bool()>& interrupted) {
    void* warm = std::malloc(kWarmHeapBytes);
    if (!warm) return false;
    // In huge pages where the system gives them on request: a fault takes
    // 2 MB rather than 4 KB, and 4 KB ones cost 2-3 us each in a virtual
    // machine, 7 ms for the block. Only whole huge pages are backed so.
    const auto first = reinterpret_cast<std::uintptr_t>(warm);
    const std::uintptr_t pageMask = ~(std::uintptr_t{4096} - 1);
    const std::uintptr_t start = (first + 4095) & pageMask,
                         end = (first + kWarmHeapBytes) & pageMask;
    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    // A store to each page that the compiler keeps (a zeroing memset would
    // become a calloc, which knows fresh pages are zero and writes none);
    // pages already in cost a store. A megabyte at a time between looks.
    constexpr std::size_t kPage = 4096, kBetweenLooks = std::size_t{1} << 20;
    auto* page = static_cast<volatile unsigned char*>(warm);
    std::size_t at = 0;
    for (; at < kWarmHeapBytes; at += kPage) {
        if (at % kBetweenLooks == 0 && interrupted && interrupted()) break;
        page[at] = 0;
    }
    std::free(warm);
    return at >= kWarmHeapBytes;
}

int runWorker(const Decoders& decoders) {
    if (!isViewerSocket(kWorkerSocket)) {
        std::fputs("exifviewer-decoder: the viewer's photo decoder; it is started by exifviewer\n",
                   stderr);
        return kExitNoSocket;
    }
    ::fcntl(kWorkerSocket, F_SETFD, FD_CLOEXEC);
    // One malloc arena: each further one reserves 64 MiB of address space,
    // which the address-space limit counts, and glibc would read /sys for
    // the processor count to size them.
    ::mallopt(M_ARENA_MAX, 1);
    keepBuffersOnTheHeap();

    struct sigaction busError {};
    busError.sa_sigaction = onBusError;
    busError.sa_flags = SA_SIGINFO | SA_RESETHAND;
    if (::sigaction(SIGBUS, &busError, nullptr) == 0) photo::PhotoFile::allowMapping();

    std::uint32_t reached = enterNamespaces();
    // Set after the new user namespace, whose credentials could clear it. A
    // decode that hangs must not outlive the viewer.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (decoders.warmUp) decoders.warmUp();
    reached |= limitResources();
    reached = (reached & ~kMountNamespace) | hideFileSystem(reached);
    if (!installSyscallFilter(kWorkerSocket)) return kExitNotConfined;
    reached |= kNoNewPrivileges | kSyscallFilter;

    if (!sendMessage(kWorkerSocket, encode(Ready{reached}))) return 0;
    return serve(kWorkerSocket, decoders);
}

}  // namespace sandbox
