// The JPEG preview decoder's parts and the state they share: the frame's
// components and their planes, the scan being decoded, and the decoder,
// whose work lies in files by concern: markers, frame and tables
// (jpeg_dc_preview.cpp), sequential scans (jpeg_sequential_scan.cpp),
// progressive scans (jpeg_progressive_scan.cpp), colour conversion and
// resampling (jpeg_colour.cpp). Internal to the decoder.
#pragma once

#include "preview/jpeg_bit_reader.h"
#include "preview/jpeg_dc_preview.h"
#include "preview/jpeg_huffman.h"
#include "preview/jpeg_transforms.h"
#include "reader/byte_view.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace preview::jpegdecoder {

using reader::ByteView;

inline constexpr int kMaxComponents = 3;
inline constexpr int kMaxTables = 4;
// At most this many blocks in one interleaved MCU.
inline constexpr int kMaxBlocksInMcu = 10;

// Memory as the system hands it out zeroed (calloc), its elements left so: a
// large plane costs nothing until its pages are first written, by the
// threads that decode into it.
template <class T>
struct ZeroedAllocator : UninitialisedAllocator<T> {
    template <class U>
    struct rebind {
        using other = ZeroedAllocator<U>;
    };
    ZeroedAllocator() = default;
    template <class U>
    explicit ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) {
        void* memory = std::calloc(count, sizeof(T));
        if (!memory) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) noexcept { std::free(memory); }
};

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int quantTable = 0;
    std::optional<QuantTable> quant;  // taken when the first scan starts
    // Samples per block side: 1 (the DC), or 2 or 4 where the reference
    // decoder takes more from a larger inverse transform.
    int scale = 1;
    std::uint32_t blocksWide = 0, blocksHigh = 0;    // that the component's own scan codes
    std::uint32_t planeWidth = 0, planeHeight = 0;   // samples, MCU-padded
    std::uint32_t samplesWide = 0, samplesHigh = 0;  // of them, the ones inside the image
    std::vector<std::uint8_t, ZeroedAllocator<std::uint8_t>> plane;  // as kKept says
    bool scanned = false;

    // Progressive frames: the coefficients kept for each block of the
    // MCU-padded grid, until the last scan has added to them.
    const Slots* slots = &kSlotsDc;
    std::uint32_t blocksPerRow = 0;
    std::vector<std::int16_t> coefficients;  // slots->count a block
    std::vector<std::uint64_t> nonzero;      // a block; only where the AC is decoded
    // The reference decoder's progression state for the first ten
    // coefficients: the last scan's low bit, -1 before any scan.
    std::array<int, 10> lowBit{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// A component as one scan codes it.
struct ScanComponent {
    Component* component = nullptr;
    const HuffmanTable* dc = nullptr;
    const HuffmanTable* ac = nullptr;
};

// One block of an MCU: its component and where it lies in the MCU.
struct McuBlock {
    int scanIndex = 0;
    std::uint32_t offset = 0;  // from the MCU's corner in the component's plane
};

// Whether a second thread can run beside this one. Asked once: the system
// answers from its files or a system call, not worth asking for each scan.
inline bool SecondCore() {
    static const bool second = std::thread::hardware_concurrency() >= 2;
    return second;
}

// How long a thread waiting for the other stays awake before it sleeps.
inline constexpr auto kAwake = std::chrono::milliseconds(2);

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits until `value` is one `done` accepts: awake for a while, then asleep.
// Awake, it spins a moment and then gives its processor up at each turn, so
// that a busy machine (the viewer starting beside it) loses nothing by it.
// Each wait between the two threads of a decode goes through here: a thread
// woken from sleep may be put on the processor of the thread that woke it,
// and the two then take turns there for milliseconds while the other
// processor idles.
template <class Atomic, class Done>
auto Await(const Atomic& value, Done done) {
    constexpr std::uint32_t kSpins = 64;
    const auto since = std::chrono::steady_clock::now();
    bool asleep = false;
    for (std::uint32_t spin = 1;; ++spin) {
        const auto now = value.load(std::memory_order_acquire);
        if (done(now)) return now;
        if (asleep) {
            value.wait(now, std::memory_order_acquire);
        } else if (spin < kSpins) {
            Pause();
        } else {
            std::this_thread::yield();
            asleep = std::chrono::steady_clock::now() - since > kAwake;
        }
    }
}

// The second thread of a decode. The process has one, kept for its life and
// lent to one decode at a time, from the frame's start to its end: on a
// virtual machine a new thread, or a processor left idle, may take
// milliseconds to start, so the thread waits for its next task awake for a
// while (spinning) before it sleeps. A decode that finds it lent to another
// runs on one thread.
class Companion {
public:
    Companion() = default;
    Companion(const Companion&) = delete;
    Companion& operator=(const Companion&) = delete;
    // Waits for a task posted and not joined, and gives the thread back.
    ~Companion();

    // Borrows the thread (starting it the first time) and wakes it, once:
    // false when another decode has it or no thread is to be had.
    bool start();
    // Runs `task` on the thread, which must be borrowed; a task posted
    // before is joined first.
    void post(std::function<void()> task);
    // Waits for the task posted to be done.
    void join();

    struct Thread;

private:
    Thread* thread_ = nullptr;
    bool refused_ = false;
    bool posted_ = false;
};

// Runs `beside` on the companion while `here` runs on this thread, or after
// it when there is no companion. True when they ran side by side.
template <class Here, class Beside>
bool RunSideBySide(Companion& companion, Here here, Beside beside) {
    if (!companion.start()) {
        here();
        beside();
        return false;
    }
    companion.post(std::ref(beside));
    here();
    companion.join();
    return true;
}

inline std::uint32_t DivideUp(std::uint64_t a, std::uint64_t b) {
    return static_cast<std::uint32_t>((a + b - 1) / b);
}

// Where the entropy decoding of a scan stands between two MCUs: the bit
// reader, the DC predictions, a progressive AC scan's run of empty blocks,
// the next MCU and the restart marker due: enough to go on decoding from
// there. Equal states decode the rest alike; the same point of the data may
// also be reached with the bit buffer filled to another depth.
struct ScanState {
    Bits bits;
    std::array<std::uint32_t, kMaxComponents> prediction{};
    std::uint32_t emptyBlocks = 0;
    std::uint64_t mcu = 0;
    int nextRestart = 0;

    bool operator==(const ScanState&) const = default;
};

// A run of a scan's restart intervals one thread decodes, up to a stop
// which another thread lowers when it splits the rest off; and where the
// thread stands, for that split.
struct Lane {
    // Where the thread stands is told with a lock every few MCUs (for the
    // bytes the split searches from), not at each of a file's intervals one
    // MCU long.
    static constexpr std::uint64_t kPublishEvery = 32;

    Lane(const ScanState& start, std::uint64_t stop)
        : start(start),
          stopAndStarted(Pack(stop, start.mcu)),
          mcu(start.mcu),
          position(start.bits.position) {}

    void publish(std::size_t at, std::uint64_t next) {
        const std::lock_guard guard(lock);
        position = at;
        mcu = next;
    }

    // The stop and the first MCU of the interval the thread started last, in
    // one word (MCUs fit in 32 bits: a frame's sides in 16): the thread starts
    // an interval only before the stop, and the split moves the stop only
    // while the interval it saw started is still the last, so that no
    // interval is decoded by both threads.
    static std::uint64_t Pack(std::uint64_t stop, std::uint64_t started) {
        return stop << 32 | started;
    }
    static std::uint64_t Stop(std::uint64_t word) { return word >> 32; }
    static std::uint64_t Started(std::uint64_t word) { return word & 0xFFFFFFFF; }
    // The thread's: false when the interval from `first` lies past the stop.
    bool startInterval(std::uint64_t first) {
        std::uint64_t now = stopAndStarted.load(std::memory_order_acquire);
        do {
            if (first >= Stop(now)) return false;
        } while (!stopAndStarted.compare_exchange_weak(
            now, Pack(Stop(now), first), std::memory_order_acq_rel, std::memory_order_acquire));
        return true;
    }
    // The other thread's: lowers the stop to `stop` unless the thread has
    // started an interval from there on.
    bool stopAt(std::uint64_t stop) {
        std::uint64_t now = stopAndStarted.load(std::memory_order_acquire);
        do {
            if (Started(now) >= stop || Stop(now) <= stop) return false;
        } while (!stopAndStarted.compare_exchange_weak(
            now, Pack(stop, Started(now)), std::memory_order_acq_rel, std::memory_order_acquire));
        return true;
    }

    ScanState start;
    std::atomic<std::uint64_t> stopAndStarted;
    // False until the other thread has looked for a split of this lane: its
    // thread waits for that at the middle of the scan, so that a scan the
    // other thread is late for is not decoded by one alone.
    std::atomic<bool> looked{true};
    std::mutex lock;
    std::uint64_t mcu;     // under the lock: the interval's first MCU
    std::size_t position;  // and its first byte
};

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> file, std::uint64_t maxBytes,
            std::uint64_t parallelFromMcus)
        : file_(file),
          view_(file, true),
          maxBytes_(maxBytes),
          parallelFromMcus_(parallelFromMcus) {}

    JpegPreview run();

private:
    bool readFrame(ByteView segment, bool progressive);
    bool readTables(ByteView segment);
    // The table a scan names; in a sequential frame the standard one for 0
    // and 1 when the file defines none, as in the reference decoder.
    const HuffmanTable* table(int tableClass, int index);
    bool readQuantTables(ByteView segment);
    void readApp(int marker, ByteView segment);
    // Returns false when the scan is not one this decoder handles; otherwise
    // `position` is where the marker search goes on.
    bool readScan(ByteView header, std::size_t& position);
    bool readProgressiveScan(ByteView header, std::span<ScanComponent> scan, std::size_t& position);
    void decodeScan(std::span<const ScanComponent> scan, std::size_t& position);
    void decodeDcScan(std::span<const ScanComponent> scan, int low, bool refine,
                      std::size_t& position);
    void decodeAcScan(const ScanComponent& scan, int first, int last, int low, bool refine,
                      std::size_t& position);
    void skipScan(std::uint64_t mcus, std::size_t& position);
    // Where a thread can take over the rest of `lane`, a run of a scan of
    // `mcus` MCUs, the lane's stop lowered to it: the restart marker past the
    // middle of the intervals still ahead of the lane's thread, when every
    // marker up to it is the one due (so one thread would take each of them,
    // and each interval decodes from its own marker alike). The state there,
    // and the lane's stop before.
    std::optional<std::pair<ScanState, std::uint64_t>> splitLane(Lane& lane,
                                                                 std::uint64_t mcus) const;
    // A byte past the middle of the file's rest where a second thread can
    // start decoding a scan without restart markers whose data starts at
    // `from`: not within a stuffed 0xFF. Whether the scan's data reaches it
    // is found out by the first thread as it gets there.
    std::optional<std::size_t> middleOfScan(std::size_t from) const;
    // Runs `decodeMcu(bits, state, mcuX, mcuY)` over a scan's MCUs from
    // `state.mcu` up to `stopAt`, interval by interval, as the reference
    // decoder does: once an interval's data has run out the rest of it is
    // left alone, and restart markers are resynchronised on. True when some
    // interval's data ran out. With a lane, it stops at the lane's stop too,
    // and tells the lane where each interval starts.
    // Touches no member, so two threads may walk two parts of a scan.
    template <class DecodeMcu>
    bool walkScan(std::uint32_t mcusX, std::uint32_t mcusY, ScanState& state, DecodeMcu decodeMcu,
                  std::uint64_t stopAt = UINT64_MAX, Lane* lane = nullptr) const;
    // Handles the restart marker due; false when none can follow in this scan.
    bool restart(ScanState& state, bool& starved) const;
    // Progressive frames: the kept coefficients through the inverse
    // transforms into the planes.
    void transformCoefficients();
    // The planes resampled to the preview grid and turned into RGB.
    void compose(JpegPreview& out);

    // The next marker's code (0 at the end of the file), with `position`
    // moved just past it.
    int nextMarker(std::size_t& position) const;
    // The same for the bit reader: the marker where the data stops.
    void findMarker(Bits& bits, std::size_t from) const;

    std::span<const std::uint8_t> file_;
    ByteView view_;
    std::uint64_t maxBytes_;
    std::uint64_t parallelFromMcus_;

    // Those a DHT defined, or the standard ones once a scan needed them.
    std::array<std::unique_ptr<HuffmanTable>, kMaxTables> dcTables_;
    std::array<std::unique_ptr<HuffmanTable>, kMaxTables> acTables_;
    std::array<std::optional<QuantTable>, kMaxTables> quantTables_;
    std::uint32_t restartInterval_ = 0;
    bool jfif_ = false;
    bool adobe_ = false;
    int adobeTransform_ = 0;

    bool frameSeen_ = false;
    bool progressive_ = false;
    std::uint32_t width_ = 0, height_ = 0;
    int hMax_ = 1, vMax_ = 1;
    std::uint32_t mcusX_ = 0, mcusY_ = 0;
    std::vector<Component> components_;

    bool scanned_ = false;
    bool partial_ = false;
    int threads_ = 1;
    bool refused_ = false;  // the file is for the full decoder after all
    // Last, so that its thread ends before anything its tasks use goes.
    Companion companion_;
};

template <class DecodeMcu>
bool Decoder::walkScan(std::uint32_t mcusX, std::uint32_t mcusY, ScanState& state,
                       DecodeMcu decodeMcu, std::uint64_t stopAt, Lane* lane) const {
    std::uint64_t total = std::min(std::uint64_t{mcusX} * mcusY, stopAt);
    bool ranOut = false;
    // Decoded in copies whose addresses never leave this function, handed
    // back at the end, the bit reader apart from the rest (whose own reader
    // is stale meanwhile): a sample written through a pointer could be any
    // state the compiler cannot see all uses of, so it would store and
    // reload the reader at every symbol, and two threads' states on one
    // cache line would slow each other down.
    ScanState local = state;
    Bits bits = state.bits;
    std::uint64_t mcu = local.mcu;
    auto mcuX = static_cast<std::uint32_t>(mcu % mcusX);
    auto mcuY = static_cast<std::uint32_t>(mcu / mcusX);
    bool starved = false;
    std::uint64_t published = mcu;  // the lane starts out knowing its start
    while (mcu < total) {
        if (lane) {
            // At an interval's start; past a marker out of turn the lane
            // keeps the last clean start.
            if (bits.marker == 0 && bits.count == 0 && mcu >= published + Lane::kPublishEvery) {
                lane->publish(bits.position, mcu);
                published = mcu;
            }
            if (mcu >= std::uint64_t{mcusX} * mcusY / 2)
                Await(lane->looked, [](bool looked) { return looked; });
            if (!lane->startInterval(mcu)) break;
        }
        const std::uint64_t end =
            restartInterval_ ? std::min(total, (mcu / restartInterval_ + 1) * restartInterval_)
                             : total;
        for (; mcu < end && !starved; ++mcu) {
            decodeMcu(bits, local, mcuX, mcuY);
            starved = bits.count < bits.pad;
            if (++mcuX == mcusX) {
                mcuX = 0;
                ++mcuY;
            }
        }
        ranOut |= starved;
        // The rest of a starved interval stays as it was.
        mcu = end;
        mcuX = static_cast<std::uint32_t>(mcu % mcusX);
        mcuY = static_cast<std::uint32_t>(mcu / mcusX);
        if (mcu >= total) break;
        ScanState restarted = local;
        restarted.bits = bits;
        const bool more = restart(restarted, starved);
        local = restarted;
        bits = restarted.bits;
        if (!more) break;
        local.prediction = {};
        local.emptyBlocks = 0;
    }
    local.mcu = mcu;
    local.bits = bits;
    state = local;
    return ranOut;
}

}  // namespace preview::jpegdecoder
