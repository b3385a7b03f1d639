// Feeds arbitrary replies, with descriptors, through the viewer's check of
// its decoder worker's answers, over a real socket pair: the first input
// byte chooses the descriptors (how many memory files, which seals, one
// byte short of the picture or not), the rest is the message. Besides the
// sanitizers it checks the check's own promises: an accepted picture lies
// within the limits and its whole mapping can be read.
#include "sandbox/channel.h"
#include "sandbox/reply_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace sandbox;

void Check(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_worker_reply.cpp:%d: broken promise: %s\n", line, what);
    std::abort();
}
#define Require(condition) Check((condition), #condition, __LINE__)

constexpr std::uint64_t kAskedId = 41;
constexpr std::uint32_t kAskedWidth = 64;
constexpr std::uint32_t kAskedHeight = 48;

// The seals of plan bits 4-7, in the order SEAL, SHRINK, GROW, WRITE.
int sealsOf(std::uint8_t plan) {
    const int bits[] = {F_SEAL_SEAL, F_SEAL_SHRINK, F_SEAL_GROW, F_SEAL_WRITE};
    int seals = 0;
    for (int i = 0; i < 4; ++i)
        if (plan & (0x10 << i)) seals |= bits[i];
    return seals;
}

// As large as the picture the message describes (when it parses as one),
// a byte short when the plan says so; within reason for the fuzzer.
std::size_t fileSizeFor(std::span<const std::uint8_t> message, bool shortByOne) {
    const Parsed<Reply> parsed = parseReply(message);
    std::uint64_t size = 4096;
    if (parsed.message && parsed.message->status == ReplyStatus::Picture)
        size = std::uint64_t{parsed.message->stride} * parsed.message->height;
    if (shortByOne && size > 0) --size;
    return static_cast<std::size_t>(std::min<std::uint64_t>(size, 64ULL << 20));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t plan = data[0];
    const std::span<const std::uint8_t> message(data + 1, size - 1);
    if (message.size() > 65536) return 0;

    SocketPair pair = makeSocketPair();
    Require(bool(pair.first));
    std::vector<UniqueFd> files;
    std::vector<int> sent;
    const std::size_t fileSize = fileSizeFor(message, plan & 0x08);
    for (int i = 0; i < (plan & 0x07) % 6; ++i) {
        UniqueFd file(::memfd_create("fuzz", MFD_CLOEXEC | MFD_ALLOW_SEALING));
        Require(bool(file) && ::ftruncate(file.get(), static_cast<off_t>(fileSize)) == 0);
        ::fcntl(file.get(), F_ADD_SEALS, sealsOf(plan));
        sent.push_back(file.get());
        files.push_back(std::move(file));
    }
    // Descriptors beyond what a message may bring are cut by the kernel.
    if (!sendMessage(pair.first.get(), message, sent)) return 0;
    AcceptedReply accepted =
        acceptReply(receiveMessage(pair.second.get(), true), kAskedId, kAskedWidth, kAskedHeight);
    if (accepted.fault != Fault::None) {
        Require(!accepted.picture);
        return 0;
    }
    const Reply& reply = accepted.reply;
    Require(reply.id == kAskedId);
    Require(reply.orientation >= 1 && reply.orientation <= 8);
    Require(isReasonText(reply.reason) && reply.reason.size() <= kMaxReasonBytes);
    if (reply.status == ReplyStatus::Failed) {
        Require(!accepted.picture && !reply.reason.empty());
        return 0;
    }
    Require(reply.width >= 1 && reply.width <= kAskedWidth && reply.height >= 1 &&
            reply.height <= kAskedHeight);
    Require(reply.stride >= reply.width * bytesPerPixel(reply.pixelFormat) &&
            reply.stride % 4 == 0);
    Require(accepted.picture.size() == std::size_t{reply.stride} * reply.height);
    // The whole mapping is there (a page beyond the file would raise SIGBUS).
    volatile std::uint8_t sink = 0;
    for (std::size_t at = 0; at < accepted.picture.size(); at += 4096)
        sink = sink + accepted.picture.data()[at];
    sink = sink + accepted.picture.data()[accepted.picture.size() - 1];
    return 0;
}
