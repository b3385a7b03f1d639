// Messages over the viewer's socket pair with its worker: one message per
// packet (SOCK_SEQPACKET keeps their bounds), descriptors beside them as
// SCM_RIGHTS. The pair is made by the viewer and held by the two processes
// only: no name in the file system, nothing anyone else can connect to.
#pragma once

#include "sandbox/unique_fd.h"

#include <cstdint>
#include <span>
#include <vector>

namespace sandbox {

// Most descriptors one received message may bring in; more mark it
// refused, and the kernel closes the rest.
inline constexpr std::size_t kMaxReceivedDescriptors = 4;

struct SocketPair {
    UniqueFd first;
    UniqueFd second;
};
// A connected pair, close-on-exec; both ends empty on failure.
SocketPair makeSocketPair();

// Sends one message with `descriptors` beside it (duplicated by the kernel;
// the caller keeps its own). False when the peer is gone or the socket
// refused it. Never raises SIGPIPE.
bool sendMessage(int socket, std::span<const std::uint8_t> bytes,
                 std::span<const int> descriptors = {});

struct Received {
    enum class Status {
        Message,
        Closed,      // the peer closed its end (or sent an empty packet, which nothing here sends)
        WouldBlock,  // nothing waiting, on a non-blocking socket
        Failed,
    };
    Status status = Status::Failed;
    std::vector<std::uint8_t> bytes;
    // Owned here whatever happens next; close-on-exec.
    std::vector<UniqueFd> descriptors;
    bool truncated = false;  // longer than kMaxMessageBytes: the bytes are not the message
    bool descriptorsTruncated = false;  // more descriptors than kMaxReceivedDescriptors
    bool foreignControl = false;        // ancillary data other than descriptors
};

// Takes the next message, waiting for it when `wait` (else WouldBlock).
Received receiveMessage(int socket, bool wait);

// Whether something waits to be received (a message, or the peer's end
// closed); it is left there.
bool somethingWaiting(int socket);

}  // namespace sandbox
