#include "preview/jpeg_dc_preview.h"

#include "preview/jpeg_decoder.h"
#include "preview/jpeg_standard_tables.h"
#include "reader/jpeg_segments.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace preview::jpegdecoder {

using namespace reader::jpeg;

namespace {

// Every coded block spends at least two bits (a DC code and an end-of-block
// or run code), four blocks per byte; twice that leaves room for files cut
// short. A frame claiming more blocks than this describes data the file
// cannot hold. A progressive frame spends at least one bit on each block's
// first DC code, so twice that.
constexpr std::uint64_t kBlocksPerByte = 8;
constexpr std::uint64_t kProgressiveBlocksPerByte = 16;
constexpr std::uint64_t kBlocksAlways = 4096;

}  // namespace

struct Companion::Thread {
    enum State : std::uint32_t { kIdle, kWake, kPosted, kDone, kQuit };

    ~Thread() {
        if (!thread.joinable()) return;
        state.store(kQuit, std::memory_order_release);
        state.notify_one();
        thread.join();
    }

    void serve() {
        for (;;) {
            const std::uint32_t now = Await(state, [](std::uint32_t state) {
                return state == kWake || state == kPosted || state == kQuit;
            });
            if (now == kQuit) return;
            if (now == kWake) {
                // Awake again for a while; a task posted meanwhile stays.
                std::uint32_t woken = kWake;
                state.compare_exchange_strong(woken, kIdle, std::memory_order_acq_rel);
                continue;
            }
            task();
            state.store(kDone, std::memory_order_release);
            state.notify_one();
        }
    }

    std::mutex lock;  // over `lent` and the start
    bool lent = false;
    std::thread thread;
    std::function<void()> task;
    std::atomic<std::uint32_t> state{kIdle};
};

namespace {

Companion::Thread& ProcessThread() {
    static Companion::Thread thread;
    return thread;
}

}  // namespace

Companion::~Companion() {
    if (!thread_) return;
    // A task posted and not joined (the decode left by an exception) is
    // waited for first.
    join();
    const std::lock_guard guard(thread_->lock);
    thread_->lent = false;
}

bool Companion::start() {
    if (thread_ || refused_) return thread_ != nullptr;
    Thread& shared = ProcessThread();
    {
        const std::lock_guard guard(shared.lock);
        if (!shared.lent && !shared.thread.joinable()) {
            try {
                shared.thread = std::thread([&shared] { shared.serve(); });
            } catch (const std::system_error&) {
                // No thread to be had (a limit on them): one thread.
            }
        }
        refused_ = shared.lent || !shared.thread.joinable();
        if (refused_) return false;
        shared.lent = true;
    }
    thread_ = &shared;
    std::uint32_t idle = Thread::kIdle;
    if (shared.state.compare_exchange_strong(idle, Thread::kWake, std::memory_order_acq_rel))
        shared.state.notify_one();
    return true;
}

void Companion::post(std::function<void()> task) {
    join();
    thread_->task = std::move(task);
    thread_->state.store(Thread::kPosted, std::memory_order_release);
    thread_->state.notify_one();
    posted_ = true;
}

void Companion::join() {
    if (!posted_) return;
    Await(thread_->state, [](std::uint32_t state) { return state == Thread::kDone; });
    thread_->task = nullptr;
    thread_->state.store(Thread::kIdle, std::memory_order_relaxed);
    posted_ = false;
}

int Decoder::nextMarker(std::size_t& position) const {
    while (position < file_.size()) {
        // The search passes over whole scans of data that is not needed:
        // memchr's wide compares, not a loop a byte at a time.
        const void* found = std::memchr(file_.data() + position, 0xFF, file_.size() - position);
        if (!found) {
            position = file_.size();
            break;
        }
        position = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - file_.data());
        while (position < file_.size() && file_[position] == 0xFF) ++position;
        if (position >= file_.size()) break;
        const int code = file_[position++];
        if (code != 0) return code;  // 0xFF 0x00 is data, not a marker
    }
    return 0;
}

JpegPreview Decoder::run() {
    JpegPreview out;
    if (file_.size() < 4 || file_[0] != 0xFF || file_[1] != kSoi) return out;
    // Bytes between segments are passed over, as the reference decoder does.
    reader::MemoryWindow window(file_);
    reader::JpegSegmentWalk walk(window, 0, file_.size(), {.skipStrayBytes = true});
    // A missing end counts as one.
    for (std::optional<reader::JpegSegment> found;
         (found = walk.next()) && found->marker != kEoi;) {
        const int marker = found->marker;
        const bool skipped = IsApp(marker) || marker == kCom || marker == kDnl;
        // A segment that is only skipped may claim less than its own length
        // field; the reference decoder then skips just that.
        bool ok = found->complete && (found->length >= 2 || skipped);
        const ByteView segment =
            ok ? view_.sub(found->payload, found->payloadLength()) : ByteView();

        if (!ok) {
        } else if (marker == kSof0 || marker == kSof1 || marker == kSof2) {
            ok = readFrame(segment, marker == kSof2);
        } else if (marker == kDht) {
            ok = readTables(segment);
        } else if (marker == kDqt) {
            ok = readQuantTables(segment);
        } else if (marker == kDri) {
            ok = segment.size() == 2;
            restartInterval_ = segment.u16(0);
        } else if (marker == kSos) {
            std::size_t position = found->payload + segment.size();
            ok = readScan(segment, position);
            walk.resumeAt(position);
        } else if (skipped) {
            readApp(marker, segment);
        } else {
            // Lossless, hierarchical or arithmetic frames, a second start of
            // image, reserved codes.
            ok = false;
        }
        if (!ok) {
            // After a scan, what it decoded stands, as far as it got.
            if (!scanned_ || refused_) return out;
            partial_ = true;
            break;
        }
    }
    if (!scanned_) return out;
    if (progressive_) {
        // While any of the first nine AC coefficients of a component is not
        // fully known (a scan missing, or cut off before it began), the
        // reference decoder estimates them, and the DC too, from the
        // neighbouring blocks' DCs: that picture is the full decoder's.
        for (const Component& c : components_)
            if (std::any_of(c.lowBit.begin() + 1, c.lowBit.end(), [](int low) { return low != 0; }))
                return out;
        transformCoefficients();
    }
    compose(out);
    const bool allScanned = std::all_of(components_.begin(), components_.end(),
                                        [](const Component& c) { return c.scanned; });
    out.result =
        partial_ || !allScanned ? JpegPreview::Result::Partial : JpegPreview::Result::Complete;
    out.threads = threads_;
    return out;
}

void Decoder::readApp(int marker, ByteView segment) {
    // The colour space is settled when the first scan starts.
    if (scanned_) return;
    if (marker == kApp0 && segment.size() >= 14 &&
        segment.startsWith(std::string_view("JFIF\0", 5)))
        jfif_ = true;
    if (marker == kApp14 && segment.size() >= 12 && segment.startsWith("Adobe")) {
        adobe_ = true;
        adobeTransform_ = segment.u8(11);
    }
}

bool Decoder::readFrame(ByteView segment, bool progressive) {
    if (frameSeen_ || segment.size() < 6) return false;
    progressive_ = progressive;
    const int precision = segment.u8(0);
    height_ = segment.u16(1);
    width_ = segment.u16(3);
    const int count = segment.u8(5);
    // A height of 0 would come later in a DNL marker; 12-bit samples and CMYK
    // are for the full decoder.
    if (precision != 8 || height_ == 0 || width_ == 0 || (count != 1 && count != 3) ||
        segment.size() != 6u + 3u * count)
        return false;
    components_.resize(count);
    for (int i = 0; i < count; ++i) {
        Component& c = components_[i];
        c.id = segment.u8(6 + 3 * i);
        const int sampling = segment.u8(7 + 3 * i);
        c.h = sampling >> 4;
        c.v = sampling & 15;
        c.quantTable = segment.u8(8 + 3 * i);
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable >= kMaxTables) return false;
        hMax_ = std::max(hMax_, c.h);
        vMax_ = std::max(vMax_, c.v);
    }
    if (count == 1) {
        // A lone component is never interleaved: its blocks cover the image.
        components_[0].h = components_[0].v = 1;
        hMax_ = vMax_ = 1;
    }
    mcusX_ = DivideUp(width_, 8u * hMax_);
    mcusY_ = DivideUp(height_, 8u * vMax_);
    std::uint64_t blocks = 0;
    std::uint64_t samples = 0;
    for (Component& c : components_) {
        // The chroma is spread over the preview by whole-number ratios only,
        // as the reference decoder does.
        if (hMax_ % c.h != 0 || vMax_ % c.v != 0) return false;
        // The reference decoder's choice of transform size at an eighth: as
        // large as the component's subsampling allows, up to its full share
        // of the preview. With sampling factors up to 4, at most 4 x 4.
        while (hMax_ % (c.h * c.scale * 2) == 0 && vMax_ % (c.v * c.scale * 2) == 0) c.scale *= 2;
        c.blocksWide = DivideUp(std::uint64_t{width_} * c.h, 8u * hMax_);
        c.blocksHigh = DivideUp(std::uint64_t{height_} * c.v, 8u * vMax_);
        c.planeWidth = mcusX_ * c.h * c.scale;
        c.planeHeight = mcusY_ * c.v * c.scale;
        c.samplesWide = DivideUp(std::uint64_t{width_} * c.h * c.scale, 8u * hMax_);
        c.samplesHigh = DivideUp(std::uint64_t{height_} * c.v * c.scale, 8u * vMax_);
        blocks += std::uint64_t{mcusX_} * c.h * mcusY_ * c.v;
        samples += std::uint64_t{c.planeWidth} * c.planeHeight;
    }
    const std::uint64_t pixels = std::uint64_t{DivideUp(width_, 8)} * DivideUp(height_, 8);
    std::uint64_t kept = 0;
    if (progressive_) {
        for (Component& c : components_) {
            c.slots = c.scale == 1 ? &kSlotsDc : c.scale == 2 ? &kSlots2x2 : &kSlots4x4;
            c.blocksPerRow = mcusX_ * c.h;
            const std::uint64_t grid = std::uint64_t{c.blocksPerRow} * mcusY_ * c.v;
            kept += grid * (sizeof(std::int16_t) * c.slots->count +
                            (c.scale > 1 ? sizeof(std::uint64_t) : 0));
        }
    }
    const std::uint64_t perByte = progressive_ ? kProgressiveBlocksPerByte : kBlocksPerByte;
    if (blocks > file_.size() * perByte + kBlocksAlways ||
        kept + samples + pixels * sizeof(std::uint32_t) > maxBytes_)
        return false;
    // Its thread is woken while the rest of the header is read.
    if (!progressive_ && std::uint64_t{mcusX_} * mcusY_ >= parallelFromMcus_ && SecondCore())
        companion_.start();
    for (Component& c : components_) {
        if (!progressive_) {
            c.plane = {};
            c.plane.resize(std::size_t{c.planeWidth} * c.planeHeight);
            continue;
        }
        const std::size_t grid = std::size_t{c.blocksPerRow} * mcusY_ * c.v;
        c.coefficients.assign(grid * c.slots->count, 0);
        if (c.scale > 1) c.nonzero.assign(grid, 0);
    }
    frameSeen_ = true;
    return true;
}

bool Decoder::readTables(ByteView segment) {
    std::uint64_t at = 0;
    while (at < segment.size()) {
        const int selector = segment.u8(at);
        const int tableClass = selector >> 4;
        const int index = selector & 15;
        if (tableClass > 1 || index >= kMaxTables || !segment.fits(at + 1, 16)) return false;
        std::uint8_t counts[17] = {};
        int total = 0;
        for (int length = 1; length <= 16; ++length) {
            counts[length] = segment.u8(at + length);
            total += counts[length];
        }
        if (total > 256 || !segment.fits(at + 17, total)) return false;
        // A bad table is an error only once a scan uses it, as in the
        // reference decoder.
        auto table = std::make_unique<HuffmanTable>();
        table->usable = BuildTable(*table, counts, segment.sub(at + 17, total), tableClass == 0);
        (tableClass == 0 ? dcTables_[index] : acTables_[index]) = std::move(table);
        at += 17u + total;
    }
    return true;
}

const HuffmanTable* Decoder::table(int tableClass, int index) {
    std::unique_ptr<HuffmanTable>& slot = tableClass == 0 ? dcTables_[index] : acTables_[index];
    if (slot) return slot->usable ? slot.get() : nullptr;
    if (progressive_) return nullptr;  // its progressive decoder has no standard tables
    for (const StandardHuffmanTable& standard : kStandardHuffmanTables) {
        if (standard.tableClass != tableClass || standard.index != index) continue;
        std::uint8_t counts[17] = {};
        std::copy(standard.counts.begin(), standard.counts.end(), counts + 1);
        auto built = std::make_unique<HuffmanTable>();
        built->usable =
            BuildTable(*built, counts, ByteView(standard.values, true), tableClass == 0);
        slot = std::move(built);
        return slot.get();
    }
    return nullptr;
}

bool Decoder::readQuantTables(ByteView segment) {
    std::uint64_t at = 0;
    while (at < segment.size()) {
        const int selector = segment.u8(at);
        const int precision = selector >> 4;
        const int index = selector & 15;
        const std::uint64_t size = precision == 0 ? 64 : 128;
        if (precision > 1 || index >= kMaxTables || !segment.fits(at + 1, size)) return false;
        QuantTable& table = quantTables_[index].emplace();
        for (int i = 0; i < 64; ++i)
            table[kNaturalOrder[i]] =
                precision == 0 ? segment.u8(at + 1 + i) : segment.u16(at + 1 + 2 * i);
        at += 1 + size;
    }
    return true;
}

bool Decoder::readScan(ByteView header, std::size_t& position) {
    if (!frameSeen_ || header.size() < 1) return false;
    const std::size_t count = header.u8(0);
    if (count < 1 || count > components_.size() || header.size() != 4 + 2 * count) return false;
    std::array<ScanComponent, kMaxComponents> scan{};
    int blocksInMcu = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int id = header.u8(1 + 2 * i);
        const int tables = header.u8(2 + 2 * i);
        Component* found = nullptr;
        for (Component& c : components_) {
            const bool taken =
                std::any_of(scan.begin(), scan.begin() + i,
                            [&](const ScanComponent& s) { return s.component == &c; });
            if (c.id == id && !taken) {
                found = &c;
                break;
            }
        }
        const int dc = tables >> 4;
        const int ac = tables & 15;
        const HuffmanTable* dcTable = dc < kMaxTables ? table(0, dc) : nullptr;
        const HuffmanTable* acTable = ac < kMaxTables ? table(1, ac) : nullptr;
        if (!found) return false;
        if (!progressive_) {
            if (!dcTable || !acTable) return false;
            // A component coded again adds to the coefficients it has (or,
            // after a first scan with every component, changes nothing) in
            // the full decoder; that is its business.
            if (found->scanned) {
                refused_ = true;
                return false;
            }
        }
        // The quantisation table is taken when the component's first scan
        // starts; a later definition does not change it.
        if (!found->quant) {
            if (!quantTables_[found->quantTable]) return false;
            found->quant = quantTables_[found->quantTable];
        }
        scan[i] = {found, dcTable, acTable};
        blocksInMcu += found->h * found->v;
    }
    if (count > 1 && blocksInMcu > kMaxBlocksInMcu) return false;

    if (progressive_) {
        if (!readProgressiveScan(header, std::span<ScanComponent>(scan.data(), count), position))
            return false;
    } else {
        // The spectral selection and successive approximation bytes that
        // follow mean nothing in a sequential frame; some encoders leave
        // them zero.
        decodeScan(std::span<const ScanComponent>(scan.data(), count), position);
    }
    for (std::size_t i = 0; i < count; ++i) scan[i].component->scanned = true;
    scanned_ = true;
    return true;
}

void Decoder::skipScan(std::uint64_t mcus, std::size_t& position) {
    // Where a scan's data ends depends only on its markers: the bit reader
    // stops at the first, and each restart goes on from the marker it takes.
    ScanState state;
    Bits& bits = state.bits;
    findMarker(bits, position);
    const std::uint64_t intervals =
        restartInterval_ ? (mcus + restartInterval_ - 1) / restartInterval_ : 1;
    for (std::uint64_t interval = 1; interval < intervals; ++interval) {
        // Any other marker that resynchronising does not skip stays put
        // until the scan is over.
        if (!IsRestart(bits.marker) && bits.marker >= kSof0) break;
        bool starved = true;
        restart(state, starved);
        if (bits.marker == 0) findMarker(bits, bits.position);
    }
    if (bits.markerPosition >= file_.size()) partial_ = true;  // the file ends inside the scan
    position = bits.markerPosition;
}

std::optional<std::pair<ScanState, std::uint64_t>> Decoder::splitLane(Lane& lane,
                                                                      std::uint64_t mcus) const {
    std::size_t position = 0;
    std::uint64_t mcu = 0;
    {
        const std::lock_guard guard(lane.lock);
        position = lane.position;
        mcu = lane.mcu;
    }
    const std::uint64_t now = lane.stopAndStarted.load(std::memory_order_acquire);
    const std::uint64_t stop = Lane::Stop(now);
    // Intervals: the one the lane's thread is in, the one it stops before,
    // and the one to take over from, two or more ahead of it; the search for
    // that one's marker starts from the last the thread told of.
    const std::uint64_t interval = restartInterval_;
    const std::uint64_t from = std::max(mcu, Lane::Started(now)) / interval;
    const std::uint64_t to = DivideUp(std::min(stop, mcus), interval);
    if (to < from + 4) return {};
    const std::uint64_t taken = from + (to - from) / 2;
    for (std::uint64_t next = mcu / interval; next < taken; ++next) {
        // The search moves past the marker it finds; 0 is the end of the file.
        if (nextMarker(position) != static_cast<int>(kRst0 + (next & 7))) return {};
    }
    ScanState state;
    state.bits.position = position;
    state.mcu = taken * interval;
    state.nextRestart = static_cast<int>(taken & 7);
    return std::pair{state, stop};
}

void Decoder::findMarker(Bits& bits, std::size_t from) const {
    const int code = nextMarker(from);
    if (code == 0) {
        bits.marker = kEoi;
        bits.markerPosition = bits.markerEnd = file_.size();
    } else {
        bits.marker = code;
        bits.markerPosition = from - 2;
        bits.markerEnd = from;
    }
    // Parked on the marker, the reader finds no more data before it.
    bits.position = bits.markerPosition;
}

bool Decoder::restart(ScanState& state, bool& starved) const {
    Bits& bits = state.bits;
    bits.buffer = 0;
    bits.count = 0;
    bits.pad = 0;
    if (bits.marker == 0) findMarker(bits, bits.position);
    // The reference decoder's resynchronisation: take the expected marker, or
    // one too far off to make sense of; skip to the next marker after an
    // earlier one or a non-marker; leave a later one (or any other marker)
    // for the interval it belongs to, leaving this interval empty.
    for (;;) {
        const int marker = bits.marker;
        const int number = marker - kRst0;
        const auto near = [&](int offset) { return number == ((state.nextRestart + offset) & 7); };
        if (marker == kRst0 + state.nextRestart ||
            (IsRestart(marker) && !near(1) && !near(2) && !near(-1) && !near(-2))) {
            bits.position = bits.markerEnd;
            bits.marker = 0;
            starved = false;
            break;
        }
        if (marker < kSof0 || (IsRestart(marker) && (near(-1) || near(-2)))) {
            findMarker(bits, bits.markerEnd);
            continue;
        }
        break;
    }
    state.nextRestart = (state.nextRestart + 1) & 7;
    // Another marker pending ends the scan's data for good.
    return bits.marker == 0 || IsRestart(bits.marker) || !starved;
}

}  // namespace preview::jpegdecoder

namespace preview {

JpegPreview DecodeJpegPreview(std::span<const std::uint8_t> file, std::uint64_t maxBytes,
                              std::uint64_t parallelFromMcus) {
    return jpegdecoder::Decoder(file, maxBytes, parallelFromMcus).run();
}

}  // namespace preview
