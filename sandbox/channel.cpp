#include "sandbox/channel.h"

#include "sandbox/protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace sandbox {

SocketPair makeSocketPair() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return {};
    return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

bool sendMessage(int socket, std::span<const std::uint8_t> bytes,
                 std::span<const int> descriptors) {
    iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    // Words, for the alignment the control headers need.
    std::vector<std::uint64_t> control((CMSG_SPACE(sizeof(int) * descriptors.size()) + 7) / 8);
    if (!descriptors.empty()) {
        header.msg_control = control.data();
        header.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
        std::memcpy(CMSG_DATA(rights), descriptors.data(), sizeof(int) * descriptors.size());
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &header, MSG_NOSIGNAL);
        if (sent >= 0) return static_cast<std::size_t>(sent) == bytes.size();
        if (errno != EINTR) return false;
    }
}

bool somethingWaiting(int socket) {
    // A peek with no room for descriptors installs none: any stay queued.
    char byte = 0;
    iovec part{&byte, 1};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    for (;;) {
        const ssize_t length = ::recvmsg(socket, &header, MSG_PEEK | MSG_DONTWAIT);
        if (length >= 0) return true;
        if (errno != EINTR) return errno != EAGAIN && errno != EWOULDBLOCK;
    }
}

Received receiveMessage(int socket, bool wait) {
    Received received;
    // One byte more than any message, so that a longer one shows as cut.
    received.bytes.resize(kMaxMessageBytes + 1);
    iovec part{received.bytes.data(), received.bytes.size()};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxReceivedDescriptors)];
    header.msg_control = control;
    header.msg_controllen = sizeof(control);

    ssize_t length = -1;
    for (;;) {
        length = ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC | (wait ? 0 : MSG_DONTWAIT));
        if (length >= 0 || errno != EINTR) break;
    }
    if (length < 0) {
        received.bytes.clear();
        received.status = errno == EAGAIN || errno == EWOULDBLOCK ? Received::Status::WouldBlock
                                                                  : Received::Status::Failed;
        return received;
    }
    // Every descriptor that arrived is owned before anything is looked at.
    for (cmsghdr* item = CMSG_FIRSTHDR(&header); item; item = CMSG_NXTHDR(&header, item)) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS) {
            received.foreignControl = true;
            continue;
        }
        const std::size_t payload = item->cmsg_len - CMSG_LEN(0);
        for (std::size_t i = 0; i < payload / sizeof(int); ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(item) + i * sizeof(int), sizeof(int));
            received.descriptors.emplace_back(descriptor);
        }
    }
    received.truncated =
        (header.msg_flags & MSG_TRUNC) != 0 || static_cast<std::size_t>(length) > kMaxMessageBytes;
    received.descriptorsTruncated = (header.msg_flags & MSG_CTRUNC) != 0;
    received.bytes.resize(std::min(static_cast<std::size_t>(length), kMaxMessageBytes));
    received.status = length == 0 && received.descriptors.empty() ? Received::Status::Closed
                                                                  : Received::Status::Message;
    return received;
}

}  // namespace sandbox
