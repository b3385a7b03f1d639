// The decoder worker for the tests: the real worker (confinement, loop,
// the photo road's decoders), whose decode also obeys a file that holds
// "exifviewer-test: COMMAND" in its first bytes (a file of its own, or a
// photo with the line in a comment, which the viewer opens as the photo it
// is). The commands do what a compromised decoder might: forbidden system
// calls, crashes, hangs, running out of memory, lying to the viewer.
#include "malformed_replies.h"

#include "photo/photo_file.h"
#include "sandbox/channel.h"
#include "sandbox/decode_hook.h"
#include "sandbox/worker.h"

#include <QString>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using sandbox::DecodeOutcome;
using sandbox::DecodeRequest;

constexpr char kPrefix[] = "exifviewer-test: ";

void sleepMs(long milliseconds) {
    timespec time{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (::nanosleep(&time, &time) != 0 && errno == EINTR) {}
}

DecodeOutcome answer(const DecodeRequest& request, const QString& reason) {
    DecodeOutcome outcome;
    outcome.reason = reason;
    outcome.photoSize = request.target;
    return outcome;
}

DecodeOutcome solid(const DecodeRequest& request) {
    DecodeOutcome outcome;
    outcome.picture = QImage(request.target, QImage::Format_RGB32);
    outcome.picture.fill(Qt::darkCyan);
    outcome.photoSize = request.target;
    return outcome;
}

DecodeOutcome obey(const std::string& command, const std::string& argument,
                   const DecodeRequest& request, const sandbox::Decoders& real) {
    // Calls the filter must end the worker for.
    if (command == "socket") ::syscall(SYS_socket, AF_INET, SOCK_STREAM, 0);
    if (command == "execve") {
        char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execve("/bin/true", argv, argv + 1);
    }
    if (command == "ptrace") ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    if (command == "fork") ::fork();
    if (command == "kill") ::kill(1, 0);
    if (command == "unshare") ::unshare(CLONE_NEWUSER);
    if (command == "exec-memory")
        ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1,
               0);
    if (command == "setrlimit") {
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &unlimited);
    }
    // Calls refused without ending it.
    if (command == "open") {
        const int file = ::open("/etc/passwd", O_RDONLY | O_CLOEXEC);
        return answer(request, QStringLiteral("open: %1")
                                   .arg(file >= 0 ? QStringLiteral("opened")
                                                  : QString::fromUtf8(std::strerror(errno))));
    }
    if (command == "thread") {
        bool ran = false;
        std::thread([&ran] { ran = true; }).join();
        return answer(request,
                      ran ? QStringLiteral("thread ran") : QStringLiteral("thread did not run"));
    }
    // Failures of the decoder itself.
    if (command == "crash") {
        // A write to a page that cannot be written, as a decoder's wild
        // pointer would (and not one the undefined-behaviour checks catch).
        void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(page) = 1;
    }
    if (command == "shrink") {
        // Another program cuts the photo short while it is mapped.
        const int file = ::memfd_create("photo", MFD_CLOEXEC);
        const std::string bytes(1 << 16, 'x');
        if (file < 0 || ::write(file, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            return answer(request, QStringLiteral("no memory file"));
        const int other = ::fcntl(file, F_DUPFD_CLOEXEC, 0);
        const photo::PhotoFile::Opened opened = photo::PhotoFile::adopt(file);
        const photo::PhotoFile::Mapping mapping =
            opened.file ? opened.file->map() : photo::PhotoFile::Mapping();
        if (!mapping) return answer(request, QStringLiteral("not mapped"));
        if (::ftruncate(other, 0) != 0) return answer(request, QStringLiteral("not cut"));
        const volatile std::uint8_t* past = &mapping.bytes()[bytes.size() / 2];
        return answer(request, QStringLiteral("read %1 past the end").arg(*past));
    }
    if (command == "abort") std::abort();
    if (command == "exit") ::_exit(1);
    if (command == "retire") ::_exit(sandbox::kExitRetired);
    if (command == "close") {
        ::close(sandbox::kWorkerSocket);
        for (;;) sleepMs(1000);
    }
    if (command == "sleep") {
        // A slow decode: of the photo when it is one, else a plain picture.
        sleepMs(std::stol(argument));
        const DecodeOutcome decoded = real.decode(request);
        return decoded.picture.isNull() ? solid(request) : decoded;
    }
    if (command == "spin") {
        volatile unsigned long turns = 0;
        for (;;) turns = turns + 1;
    }
    if (command == "allocate") {
        rlimit space{};
        if (::getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur == RLIM_INFINITY)
            return answer(request, QStringLiteral("no address-space limit"));
        std::vector<std::unique_ptr<char[]>> held;
        for (;;) held.emplace_back(new char[64 << 20]);
    }
    if (command == "lie") {
        const sandboxtest::ReplyCase* lie = sandboxtest::findReplyCase(argument);
        if (!lie) return answer(request, QStringLiteral("no such lie"));
        const sandboxtest::Crafted crafted =
            lie->craft({request.id, static_cast<std::uint32_t>(request.target.width()),
                        static_cast<std::uint32_t>(request.target.height()), request.photo});
        sandbox::sendMessage(sandbox::kWorkerSocket, crafted.bytes, crafted.sent);
        // The viewer kills a liar.
        for (;;) sleepMs(1000);
    }
    return answer(request, QStringLiteral("survived %1").arg(QString::fromStdString(command)));
}

DecodeOutcome decodeOrObey(const sandbox::Decoders& real, const DecodeRequest& request) {
    char head[4096] = {};
    const ssize_t length = ::pread(request.photo, head, sizeof(head), 0);
    const std::string text(head, length > 0 ? static_cast<std::size_t>(length) : 0);
    const std::size_t at = text.find(kPrefix);
    if (at == std::string::npos) return real.decode(request);
    const std::size_t from = at + sizeof(kPrefix) - 1;
    const std::string line = text.substr(from, text.find('\n', from) - from);
    const std::size_t space = line.find(' ');
    return obey(line.substr(0, space),
                space == std::string::npos ? std::string() : line.substr(space + 1), request, real);
}

}  // namespace

int main() {
    const sandbox::Decoders real = sandbox::photoDecoders();
    const sandbox::Decoders test{
        real.warmUp, [&real](const DecodeRequest& request) { return decodeOrObey(real, request); }};
    ::_exit(sandbox::runWorker(test));
}
