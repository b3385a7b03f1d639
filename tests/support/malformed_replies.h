// Replies a compromised worker might send, each with the check that must
// refuse it: bytes and descriptors built in code. The reply-check test sends
// them through a socket pair in the test; the test worker sends them to a
// real client in place of its answer.
#pragma once

#include "sandbox/protocol.h"
#include "sandbox/unique_fd.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sandboxtest {

struct Crafted {
    std::vector<std::uint8_t> bytes;
    std::vector<int> sent;  // the descriptors sent beside the bytes
    std::vector<sandbox::UniqueFd> owned;
};

// What a reply answers, and a descriptor that is not a memory file (a
// regular file or a pipe) for the case that sends one.
struct Asked {
    std::uint64_t id = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int notMemoryFile = -1;
};

struct ReplyCase {
    const char* name;
    sandbox::Fault fault;  // None: a sound reply, accepted
    Crafted (*craft)(const Asked& asked);
};

const std::vector<ReplyCase>& replyCases();
// The case of that name, or nullptr.
const ReplyCase* findReplyCase(const std::string& name);

}  // namespace sandboxtest
