// The worker's heap: a large photo's buffers find their pages faulted in, at
// its first photo and at the next, and what it keeps free is bounded; it is
// warmed while the worker waits, until a request comes.
#include "sandbox/channel.h"
#include "sandbox/worker.h"

#include <gtest/gtest.h>
#include <array>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

long MinorFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Allocates the buffers, writes each page, frees them all.
void Decode(std::initializer_list<std::size_t> sizes) {
    std::vector<void*> buffers;
    buffers.reserve(sizes.size());  // not between the buffers, where it would split the free ones
    for (const std::size_t bytes : sizes) {
        void* buffer = std::malloc(bytes);
        auto* page = static_cast<volatile unsigned char*>(buffer);
        for (std::size_t at = 0; buffer && at < bytes; at += 4096) page[at] = 1;
        buffers.push_back(buffer);
    }
    for (void* buffer : buffers) std::free(buffer);
}

// What `look` sees, in a fresh process with a heap as glibc starts it.
template <std::size_t N, class Look>
std::array<long, N> InFreshProcess(const Look& look) {
    std::array<long, N> seen;
    seen.fill(-1);
    int results[2];
    if (::pipe(results) != 0) return seen;
    const pid_t child = ::fork();
    if (child == 0) {
        seen = look();
        ::_exit(::write(results[1], seen.data(), sizeof seen) == sizeof seen ? 0 : 1);
    }
    ::close(results[1]);
    std::array<long, N> got;
    const bool read = ::read(results[0], got.data(), sizeof got) == sizeof got;
    ::close(results[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? got : seen;
}

// The heap warmed first or not: the pages faulted in by each of two decodes
// of a 50 MP JPEG (records, three planes, pixels, the scaled picture), then
// the free bytes the heap keeps after a 100 MP one, and after a 200 MP one;
// last, the faults the warming took.
std::array<long, 5> HeapOverFourDecodes(bool warmed) {
    return InFreshProcess<5>([warmed] {
        std::array<long, 5> seen{};
        sandbox::keepBuffersOnTheHeap();
        const long beforeWarming = MinorFaults();
        if (warmed) sandbox::warmHeap();
        seen[4] = MinorFaults() - beforeWarming;
        for (int decode = 0; decode < 2; ++decode) {
            const long before = MinorFaults();
            Decode({4u << 20, 760u << 10, 760u << 10, 760u << 10, 3u << 20, 1u << 20});
            seen[decode] = MinorFaults() - before;
        }
        Decode({8u << 20, 8u << 20, 8u << 20});
        seen[2] = static_cast<long>(::mallinfo2().fordblks);
        Decode({16u << 20, 16u << 20, 16u << 20});
        seen[3] = static_cast<long>(::mallinfo2().fordblks);
        return seen;
    });
}

TEST(WorkerHeap, ADecodesBuffersAreFaultedInBeforeItsFirstPhotoAndKeptForTheNext) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator keeps a heap of its own";
#endif
    constexpr long kWarm = static_cast<long>(sandbox::kWarmHeapBytes),
                   kMostKept = static_cast<long>(sandbox::kHeapBufferBytes);
    // 2,560 pages written in each 50 MP decode; 24 MB of buffers in the
    // 100 MP one, kept whole for the next; the 200 MP one's given back, but
    // for what is kept warm.
    // Where the system gives huge pages on request, the warming takes a
    // fault for each 2 MB but in the block's unaligned ends.
    std::ifstream hugePages("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(hugePages, modes);
    const bool onRequest = !modes.empty() && modes.find("[never]") == std::string::npos;
    const struct {
        const char* name;
        bool warmed;
        int seen;
        long least, most;
    } cases[] = {
        {"faults: the count sees them where there are", false, 0, 2000, 1 << 20},
        {"faults: the warming", true, 4, 0,
         onRequest ? kWarm / (2 << 20) + 2 * 512 : kWarm / 4096 + 64},
        {"faults: the first photo", true, 0, 0, 64},
        {"faults: the next photo", true, 1, 0, 64},
        {"faults: the next photo, not warmed", false, 1, 0, 64},
        {"free bytes kept after 100 MP", true, 2, 24 << 20, kMostKept},
        {"free bytes kept after 200 MP", true, 3, kWarm, kMostKept},
    };
    const std::array<long, 5> cold = HeapOverFourDecodes(false), warm = HeapOverFourDecodes(true);
    for (const auto& c : cases) {
        const long seen = (c.warmed ? warm : cold)[c.seen];
        EXPECT_GE(seen, c.least) << c.name;
        EXPECT_LE(seen, c.most) << c.name;
    }
}

// A request that comes while the heap is warmed ends the warming at the
// next look; the next idle moment warms it again.
TEST(WorkerHeap, WarmingStopsAtTheFirstLookThatFindsARequest) {
    const struct {
        const char* name;
        int requestAtLook;  // never when negative
        bool done;
    } cases[] = {{"no request", -1, true}, {"one at once", 0, false}, {"one later", 5, false}};
    for (const auto& c : cases) {
        const std::array<long, 2> seen = InFreshProcess<2>([&c] {
            long looks = 0;
            const bool done = sandbox::warmHeap([&] { return looks++ == c.requestAtLook; });
            return std::array<long, 2>{done ? 1 : 0, looks};
        });
        EXPECT_EQ(seen[0], c.done ? 1 : 0) << c.name;
        if (c.done) {
            EXPECT_GT(seen[1], 1) << c.name << ": looks taken";
        } else {
            EXPECT_EQ(seen[1], c.requestAtLook + 1) << c.name << ": looks taken";
        }
    }
}

// The look at the socket leaves what waits there, descriptors and all.
TEST(WorkerHeap, ALookAtTheSocketLeavesTheRequestThere) {
    const std::uint8_t bytes[] = {'E', 'V', 'D', '1'};
    int photo[2];
    ASSERT_EQ(::pipe(photo), 0);
    const struct {
        const char* name;
        bool send, close;
        bool waiting;
    } cases[] = {
        {"nothing", false, false, false},
        {"a message with a descriptor", true, false, true},
        {"the viewer's end closed", false, true, true},
    };
    for (const auto& c : cases) {
        sandbox::SocketPair pair = sandbox::makeSocketPair();
        ASSERT_TRUE(pair.first && pair.second);
        const int descriptors[] = {photo[0]};
        if (c.send) {
            ASSERT_TRUE(sandbox::sendMessage(pair.first.get(), bytes, descriptors));
        }
        if (c.close) pair.first.reset();
        EXPECT_EQ(sandbox::somethingWaiting(pair.second.get()), c.waiting) << c.name;
        EXPECT_EQ(sandbox::somethingWaiting(pair.second.get()), c.waiting) << c.name << ", again";
        if (!c.send) continue;
        const sandbox::Received received = sandbox::receiveMessage(pair.second.get(), false);
        EXPECT_EQ(received.status, sandbox::Received::Status::Message) << c.name;
        EXPECT_EQ(received.bytes, std::vector<std::uint8_t>(std::begin(bytes), std::end(bytes)))
            << c.name;
        EXPECT_EQ(received.descriptors.size(), 1u) << c.name;
    }
    ::close(photo[0]);
    ::close(photo[1]);
}

}  // namespace
