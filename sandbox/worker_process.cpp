#include "sandbox/worker_process.h"

#include "sandbox/channel.h"
#include "sandbox/protocol.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/syscall.h>
#include <sys/wait.h>

extern char** environ;

namespace sandbox {
namespace {

// What the worker may see of the viewer's environment: its locale, Qt's
// and the sanitizers' settings, the library path. Not DISPLAY,
// WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, SSH_AUTH_SOCK, HOME and the
// like: the worker has no business with the session.
constexpr std::string_view kPassedPrefixes[] = {
    "LANG=", "LC_", "LANGUAGE=", "QT_", "ASAN_", "UBSAN_", "LSAN_", "LD_LIBRARY_PATH=",
};

std::vector<char*> workerEnvironment() {
    std::vector<char*> passed;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        for (const std::string_view prefix : kPassedPrefixes) {
            if (text.starts_with(prefix)) {
                passed.push_back(*entry);
                break;
            }
        }
    }
    passed.push_back(nullptr);
    return passed;
}

// Through syscall(): glibc 2.36's <sys/pidfd.h> declares its wrappers
// without C linkage, so C++ cannot link them.
int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
void pidfdSendSignal(int pidfd, int signal) {
    ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

}  // namespace

Spawned spawnWorker(const std::string& program, const std::vector<std::string>& arguments) {
    Spawned spawned;
    SocketPair pair = makeSocketPair();
    if (!pair.first) {
        spawned.error = errno;
        return spawned;
    }
    // Above the descriptor it goes to, so that the dup2 below always makes
    // a copy (which clears close-on-exec).
    UniqueFd workerEnd(::fcntl(pair.second.get(), F_DUPFD_CLOEXEC, kWorkerSocket + 1));
    pair.second.reset();
    if (!workerEnd) {
        spawned.error = errno;
        return spawned;
    }

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, workerEnd.get(), kWorkerSocket);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, kWorkerSocket + 1);
    // Signals as a new program expects them, whatever the viewer blocked.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> environment = workerEnvironment();

    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes,
                                     argv.data(), environment.data());
    if (failed != 0) {
        spawned.error = failed;
        return spawned;
    }
    UniqueFd pidfd(pidfdOpen(pid));
    if (!pidfd) {
        spawned.error = errno;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return spawned;
    }
    ::fcntl(pair.first.get(), F_SETFL, ::fcntl(pair.first.get(), F_GETFL) | O_NONBLOCK);
    spawned.process.pid = pid;
    spawned.process.pidfd = std::move(pidfd);
    spawned.process.socket = std::move(pair.first);
    return spawned;
}

void killWorker(const WorkerProcess& process) {
    if (process.pidfd) pidfdSendSignal(process.pidfd.get(), SIGKILL);
}

bool reapWorker(pid_t pid, int* status) {
    if (pid <= 0) return false;
    for (;;) {
        const pid_t reaped = ::waitpid(pid, status, WNOHANG);
        if (reaped == pid) return true;
        if (reaped < 0 && errno == EINTR) continue;
        // Reaped by someone else (a handler that waits for every child):
        // ended all the same, why is lost. Its pidfd stays readable, and
        // would be reported again and again.
        if (reaped < 0 && errno == ECHILD) {
            if (status) *status = 0;
            return true;
        }
        return false;
    }
}

}  // namespace sandbox
