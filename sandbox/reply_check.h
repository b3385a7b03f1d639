// The viewer's check of one reply from its worker, as it came off the
// socket: its bytes, every descriptor beside them, the memory file they
// point to. Only a reply that passes every check is mapped and used; any
// other is refused with the check it failed, and the viewer stops that
// worker. Plain C++, so it can be fuzzed.
#pragma once

#include "sandbox/channel.h"
#include "sandbox/protocol.h"
#include "sandbox/shared_picture.h"

#include <cstdint>

namespace sandbox {

struct AcceptedReply {
    Reply reply;
    MappedPicture picture;  // status Picture: stride x height bytes, read-only
    Fault fault = Fault::None;
};

// Checks `received` as the reply to request `expectedId`, which asked for
// a picture of at most askedWidth x askedHeight.
AcceptedReply acceptReply(Received&& received, std::uint64_t expectedId, std::uint32_t askedWidth,
                          std::uint32_t askedHeight);

}  // namespace sandbox
