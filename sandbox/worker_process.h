// Starting and stopping a worker process: the viewer's side of its life,
// plain POSIX. The worker gets its end of a new socket pair as descriptor 3,
// standard input and output on /dev/null, the viewer's standard error for
// its log lines, no other descriptor of the viewer, and an environment
// without the addresses of the user's session (display, bus, agents).
#pragma once

#include "sandbox/unique_fd.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace sandbox {

struct WorkerProcess {
    pid_t pid = -1;
    UniqueFd pidfd;   // readable when the worker has ended; signals go through it
    UniqueFd socket;  // the viewer's end, non-blocking
};

struct Spawned {
    WorkerProcess process;  // pid -1 on failure
    int error = 0;          // errno of the failure
};

Spawned spawnWorker(const std::string& program, const std::vector<std::string>& arguments);

// SIGKILL through the pidfd (no other process can have taken the pid).
void killWorker(const WorkerProcess& process);

// The worker's wait status once it has ended, without waiting; false while
// it runs. A worker that another part of the process reaped counts as ended,
// with status 0.
bool reapWorker(pid_t pid, int* status);

}  // namespace sandbox
