// How the decoder worker shuts itself in, step by step, in the order the
// worker takes them. Each step returns the Confinement bits (protocol.h) it
// reached and says on standard error what it could not do. Only the
// system-call filter is required: without it the worker does not serve.
#pragma once

#include <cstdint>

namespace sandbox {

// While the process has one thread only (a new user namespace needs that):
// new user, mount, network and IPC namespaces, each where the system
// allows it (as an ordinary user only inside a new user namespace; as root
// also without one).
std::uint32_t enterNamespaces();

// After the decoders have loaded what they read from disk: resource limits
// (address space over what is mapped now, processor time, no core files)
// and no debugger attaching.
std::uint32_t limitResources();

// With a new mount namespace: an empty, read-only root in place of the file
// system. Returns kMountNamespace when done.
std::uint32_t hideFileSystem(std::uint32_t reached);

// no_new_privs and the system-call allow-list, on every thread. `socket` is
// the one socket that may carry messages. False when the filter could not
// be installed.
bool installSyscallFilter(int socket);

// The worker's processor time so far, in seconds.
double processorSeconds();

// The worker retires (ends between requests, and the viewer starts another)
// after this much processor time; RLIMIT_CPU stops one that runs on.
inline constexpr double kRetireAfterProcessorSeconds = 120;

}  // namespace sandbox
