// Sequential scans: each block's DC decoded into its component's plane and
// its AC coefficients skipped, but for the components whose small transforms
// read them.
#include "preview/jpeg_decoder.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace preview::jpegdecoder {

namespace {

// Passes over a block's AC coefficients. Called right after the block's DC,
// as DecodeAc.
inline void SkipAc(const HuffmanTable& ac, Bits& bits, std::span<const std::uint8_t> data) {
    for (int k = 1; k < 64;) {
        // The lookup's bits are in the buffer already: the refill is not in
        // the chain from one lookup to the next.
        const std::uint64_t window = bits.buffer >> (64 - kLookahead);
        Refill(bits, data);
        if (const std::uint32_t entry = ac.skip[window]) {
            // A branch, not a select: it is rarely false, and a
            // select would lengthen the chain from one lookup to
            // the next.
            if (k + SkipFields::BeforeLast(entry) < 64) [[likely]] {
                bits.buffer <<= SkipFields::Bits(entry);
                bits.count -= static_cast<int>(SkipFields::Bits(entry));
                k += static_cast<int>(SkipFields::Advance(entry));
            } else {
                bits.buffer <<= SkipFields::FirstBits(entry);
                bits.count -= static_cast<int>(SkipFields::FirstBits(entry));
                k += static_cast<int>(SkipFields::FirstAdvance(entry));
            }
            continue;
        }
        const Symbol symbol = SlowSymbol(ac, bits.buffer);
        const int run = symbol.value >> 4;
        const int extra = symbol.value & 15;
        const int skip = symbol.length + extra;
        bits.buffer <<= skip;
        bits.count -= skip;
        // Up to 31 bits: too many for the next lookup's bits to be there.
        Refill(bits, data);
        if (extra) k += run + 1;
        else if (run == 15) k += 16;
        else break;
    }
}

// A block whose transform reads none of the coefficients written: its DC
// sample throughout.
inline void FillDcSample(std::uint32_t prediction, int scale, std::uint16_t quantDc,
                         std::uint8_t* out, std::size_t stride) {
    const std::uint8_t sample = DcSample(prediction, quantDc);
    for (int y = 0; y < scale; ++y)
        std::memset(out + y * std::size_t{stride}, sample, static_cast<std::size_t>(scale));
}

// A block of a component drawn at 2 x 2 or 4 x 4 samples: from the small
// transform, or its DC sample throughout when the transform reads none of the
// coefficients written. Its DC is set from the prediction.
inline void DrawScaledBlock(Coefficients& coefficients, std::uint64_t written,
                            std::uint32_t prediction, int scale, const QuantTable& quant,
                            std::uint8_t* out, std::uint32_t stride) {
    if (written & (scale == 2 ? kReads2x2 : kReads4x4)) {
        coefficients[0] = static_cast<std::int16_t>(prediction & 0xFFFF);
        if (scale == 2) Transform2x2(coefficients, written, quant, out, stride);
        else Transform4x4(coefficients, written, quant, out, stride);
        return;
    }
    FillDcSample(prediction, scale, quant[0], out, stride);
}

// A part of a scan's data that a thread decodes from a guessed start, and
// what it keeps of each MCU it takes the data for, until the thread before
// it finds where their MCUs line up (Huffman codes fall back into step within
// a few symbols of a wrong start; an MCU start at the same bit as one of the
// thread before's is in step for good). The DC as the part's own running
// predictions, which start from a wrong value (zero), so that the true ones
// anywhere are these plus one correction per component; of a block a small
// transform draws,
// the transform's split without the DC, so that once the DC is known only
// the samples are left to work out.
struct Speculation {
    Speculation(std::size_t start, std::uint64_t capacity, int blocksInMcu, int splitInMcu)
        : start(start),
          capacity(capacity),
          at(std::make_unique_for_overwrite<std::uint64_t[]>(capacity)),
          ranOut(std::make_unique_for_overwrite<bool[]>(capacity)),
          dc(std::make_unique_for_overwrite<std::int16_t[]>(capacity * blocksInMcu)),
          reads(std::make_unique_for_overwrite<bool[]>(capacity * blocksInMcu)),
          split(std::make_unique_for_overwrite<std::int64_t[]>(capacity * splitInMcu)),
          reached(start) {}

    std::size_t start;                    // the byte it begins at: not within a stuffed 0xFF
    std::uint64_t capacity;               // MCUs
    std::unique_ptr<std::uint64_t[]> at;  // data bits from its start to each MCU's start
    std::unique_ptr<bool[]> ranOut;       // the data ran out within the MCU
    // Each block's running prediction, modulo 2^16 as it is used.
    std::unique_ptr<std::int16_t[]> dc;
    // Blocks of components drawn by a small transform: whether it reads
    // some of the block, and then its split (else its DC sample fills it).
    std::unique_ptr<bool[]> reads;
    std::unique_ptr<std::int64_t[]> split;
    // The MCUs whose records other threads may read, and kFinished once no
    // more will come.
    static constexpr std::uint64_t kFinished = std::uint64_t{1} << 63;
    std::atomic<std::uint64_t> progress{0};
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> reached;  // a byte its thread has got to, now and then
    // The part that follows, once there is one; a part put between the two
    // replaces it.
    std::atomic<Speculation*> next{nullptr};
    // Once finished: the part its thread fell into step with, if it did,
    // whose records from `takenFrom` on take over from its own at `handOver`;
    // and the reader where it stopped.
    const Speculation* handedTo = nullptr;
    std::uint64_t handOver = 0, takenFrom = 0;
    Bits last;
};

// Bytes each MCU's records take.
std::uint64_t SpeculationBytes(int blocksInMcu, int splitInMcu) {
    return sizeof(std::uint64_t) + sizeof(bool) +
           std::uint64_t(blocksInMcu) * (sizeof(std::int16_t) + sizeof(bool)) +
           std::uint64_t(splitInMcu) * sizeof(std::int64_t);
}

// Where a reader stands in the data: bits from where it began.
std::uint64_t BitsRead(const Bits& bits) {
    return bits.loaded - static_cast<std::uint64_t>(bits.count - bits.pad);
}

// The data bits before `start` of a reader that has passed it. The reader
// takes a stuffed 0xFF, and the fill before it, whole, and a part does not
// start within one: what lies between is whole data bytes.
std::uint64_t DataBitsBefore(std::span<const std::uint8_t> data, std::size_t start,
                             const Bits& bits) {
    std::uint64_t dataBytes = 0;
    for (std::size_t at = start; at < bits.position; ++dataBytes) {
        if (data[at] != 0xFF) {
            ++at;
            continue;
        }
        while (at < bits.position && data[at] == 0xFF) ++at;
        ++at;  // the stuffed zero
    }
    return bits.loaded - dataBytes * 8;
}

// A thread's reader nearing the part that follows its own: once past that
// part's start, it looks at each step for the part's MCU that starts where
// its own next one does.
class Meeting {
public:
    // The part the reader, at an MCU's start, is in step with once it is:
    // `next`, or a part that took over from it before the reader got there;
    // then `record` is that part's MCU that starts there. Null until then.
    const Speculation* inStep(std::span<const std::uint8_t> data, const Bits& bits,
                              const Speculation& next) {
        if (&next != given_) {
            *this = Meeting();
            given_ = target_ = &next;
        }
        while (looking_) {
            const Speculation& target = *target_;
            if (!startKnown_) {
                if (bits.position < target.start) return nullptr;
                startBits_ = DataBitsBefore(data, target.start, bits);
                startKnown_ = true;
            }
            const std::uint64_t here = BitsRead(bits);
            if (here < startBits_) return nullptr;
            const std::uint64_t there = here - startBits_;
            // The other thread, usually long past here, is waited for only
            // when it has not got this far yet.
            std::uint64_t progress = target.progress.load(std::memory_order_acquire);
            for (;;) {
                const std::uint64_t published = progress & ~Speculation::kFinished;
                while (record < published && target.at[record] < there) ++record;
                if (record < published || (progress & Speculation::kFinished)) break;
                progress = Await(target.progress,
                                 [was = progress](std::uint64_t now) { return now != was; });
            }
            const std::uint64_t published = progress & ~Speculation::kFinished;
            if (record < published) return target.at[record] == there ? &target : nullptr;
            // Past all its records: on to the part that took over from it.
            looking_ = target.handedTo != nullptr;
            target_ = target.handedTo;
            startKnown_ = false;
            record = 0;
        }
        return nullptr;
    }

    std::uint64_t record = 0;

private:
    const Speculation* given_ = nullptr;
    const Speculation* target_ = nullptr;
    // The target's start in the reader's data bits, once the reader is past it.
    std::uint64_t startBits_ = 0;
    bool startKnown_ = false;
    bool looking_ = true;
};

// The parts of a scan without restart markers two threads decode: the first
// thread's from the scan's start, and parts from guessed starts, each taken
// over by the part before it where the two fall into step. A thread done
// with its part splits what is left of the other's and takes the second half.
struct Parts {
    std::mutex lock;
    // Under the lock, but for the links.
    std::vector<std::unique_ptr<Speculation>> owned;
    std::uint64_t budget = 0;  // bytes more records may take
    bool stopped = false;      // the first thread went through the scan alone
    struct Runner {
        bool busy = true;
        Speculation* part = nullptr;  // null for the first thread's own
    };
    std::array<Runner, 2> runners;  // each thread
    std::atomic<Speculation*> afterFirst{nullptr};
    std::atomic<std::size_t> firstReached{0};
    std::atomic<bool> helperDone{false};
};

// A run of one part's records, drawn as consecutive MCUs.
struct Run {
    const Speculation* part = nullptr;
    std::uint64_t record = 0, count = 0;
};

// Where the drawing of the parts' records stands.
struct Cursor {
    const Speculation* part = nullptr;
    std::uint64_t record = 0;
};

}  // namespace

std::optional<std::size_t> Decoder::middleOfScan(std::size_t from) const {
    if (from >= file_.size()) return {};
    std::size_t middle = from + (file_.size() - from) / 2;
    // Not the second byte of a stuffed 0xFF.
    while (middle < file_.size() && file_[middle - 1] == 0xFF) ++middle;
    if (middle >= file_.size()) return {};
    return middle;
}

void Decoder::decodeScan(std::span<const ScanComponent> scan, std::size_t& position) {
    // The MCU grid: one block per MCU for a lone component, else each
    // component's h x v blocks.
    std::uint32_t mcusX = mcusX_, mcusY = mcusY_;
    std::array<McuBlock, kMaxBlocksInMcu> blocks{};
    int blockCount = 0;
    // Steps and offsets in samples of the component's plane.
    std::array<std::uint32_t, kMaxComponents> stepX{}, stepY{}, planeWidth{};
    std::array<std::uint8_t*, kMaxComponents> planes{};
    std::array<const QuantTable*, kMaxComponents> quant{};
    std::array<int, kMaxComponents> scales{};
    for (std::size_t i = 0; i < scan.size(); ++i) {
        Component& c = *scan[i].component;
        planes[i] = c.plane.data();
        planeWidth[i] = c.planeWidth;
        quant[i] = &*c.quant;
        scales[i] = c.scale;
        const auto scale = static_cast<std::uint32_t>(c.scale);
        if (scan.size() == 1) {
            mcusX = c.blocksWide;
            mcusY = c.blocksHigh;
            stepX[i] = stepY[i] = scale;
            blocks[blockCount++] = {0, 0};
            break;
        }
        stepX[i] = c.h * scale;
        stepY[i] = c.v * scale;
        for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(c.v); ++y)
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(c.h); ++x)
                blocks[blockCount++] = {static_cast<int>(i), (y * c.planeWidth + x) * scale};
    }
    const std::span<const std::uint8_t> data = file_;
    // Decodes from `state` up to the MCU `stopAt`; true when some interval's
    // data ran out.
    const auto decodePart = [&](ScanState& state, std::uint64_t stopAt, Lane* lane = nullptr) {
        Coefficients coefficients{};  // zero but for the block being decoded
        const auto decodeMcu = [&](Bits& bits, ScanState& s, std::uint32_t mcuX,
                                   std::uint32_t mcuY) {
            std::array<std::uint32_t, kMaxComponents>& prediction = s.prediction;
            std::array<std::uint8_t*, kMaxComponents> corner{};
            for (std::size_t i = 0; i < scan.size(); ++i)
                corner[i] = planes[i] + std::size_t{mcuY} * stepY[i] * planeWidth[i] +
                            std::size_t{mcuX} * stepX[i];
            for (int b = 0; b < blockCount; ++b) {
                const int i = blocks[b].scanIndex;
                const HuffmanTable& ac = *scan[i].ac;
                prediction[i] +=
                    static_cast<std::uint32_t>(DecodeDcDifference(*scan[i].dc, bits, data));
                if (scales[i] > 1) {
                    std::uint64_t written = DecodeAc(ac, bits, data, coefficients);
                    DrawScaledBlock(coefficients, written, prediction[i], scales[i], *quant[i],
                                    corner[i] + blocks[b].offset, planeWidth[i]);
                    for (; written; written &= written - 1)
                        coefficients[std::countr_zero(written)] = 0;
                    continue;
                }
                corner[i][blocks[b].offset] = DcSample(prediction[i], (*quant[i])[0]);

                SkipAc(ac, bits, data);
            }
        };
        return walkScan(mcusX, mcusY, state, decodeMcu, stopAt, lane);
    };

    const std::uint64_t mcus = std::uint64_t{mcusX} * mcusY;
    // Where the records keep the split of each block drawn by a transform.
    std::array<int, kMaxBlocksInMcu> splitAt{};
    int splitInMcu = 0;
    for (int b = 0; b < blockCount; ++b) {
        splitAt[b] = splitInMcu;
        const int scale = scales[blocks[b].scanIndex];
        if (scale > 1) splitInMcu += scale == 2 ? kSplitValues2x2 : kSplitValues4x4;
    }
    const std::uint64_t mcuBytes = SpeculationBytes(blockCount, splitInMcu);
    // Each component's last block in an MCU, whose record holds the
    // component's running prediction after the MCU.
    std::array<int, kMaxComponents> lastBlock{};
    for (int b = 0; b < blockCount; ++b) lastBlock[blocks[b].scanIndex] = b;
    // Each thread decodes a few MCUs at a time, and looks at each step for
    // an MCU of the next part's that starts where its own next one does.
    constexpr std::uint64_t kStep = 32;
    // A part from its start as if an MCU began there, until it falls into
    // step with the part after it, the data runs out, its records are full
    // or it is told to stop.
    const auto speculate = [&](Speculation& guess) {
        Bits bits;
        bits.position = guess.start;
        Coefficients coefficients{};
        Meeting meeting;
        std::array<std::uint32_t, kMaxComponents> running{};
        for (std::uint64_t m = 0; m < guess.capacity && !guess.stop.load(std::memory_order_relaxed);
             ++m) {
            if (m % kStep == 0) {
                guess.reached.store(bits.position, std::memory_order_relaxed);
                const Speculation* next = guess.next.load(std::memory_order_acquire);
                if (const Speculation* met = next ? meeting.inStep(data, bits, *next) : nullptr) {
                    guess.handedTo = met;
                    guess.handOver = m;
                    guess.takenFrom = meeting.record;
                    break;
                }
            }
            guess.at[m] = BitsRead(bits);
            for (int b = 0; b < blockCount; ++b) {
                const int i = blocks[b].scanIndex;
                const std::size_t block = m * blockCount + b;
                running[i] +=
                    static_cast<std::uint32_t>(DecodeDcDifference(*scan[i].dc, bits, data));
                guess.dc[block] = static_cast<std::int16_t>(running[i]);
                if (scales[i] == 1) {
                    SkipAc(*scan[i].ac, bits, data);
                    continue;
                }
                guess.reads[block] = false;
                std::uint64_t written = DecodeAc(*scan[i].ac, bits, data, coefficients);
                if (written & (scales[i] == 2 ? kReads2x2 : kReads4x4)) {
                    guess.reads[block] = true;
                    SplitTransform(coefficients, written, *quant[i], scales[i],
                                   &guess.split[m * splitInMcu + splitAt[b]]);
                }
                for (; written; written &= written - 1) coefficients[std::countr_zero(written)] = 0;
            }
            guess.ranOut[m] = bits.count < bits.pad;
            guess.progress.store(m + 1, std::memory_order_release);
            if (m % 64 == 0) guess.progress.notify_all();
            if (guess.ranOut[m]) break;
        }
        guess.last = bits;
        guess.progress.fetch_or(Speculation::kFinished, std::memory_order_release);
        guess.progress.notify_all();
    };
    // Done with its part, thread `self` splits what is left of the other
    // thread's, when that is worth it and affordable, and returns the second
    // half as its own next part; null when there is none.
    const std::size_t scanBytes = file_.size() - position;
    const std::size_t worthSplitting = std::max<std::size_t>(scanBytes / 64, 1024);
    const auto takeOver = [&](Parts& parts, int self) -> Speculation* {
        const std::lock_guard guard(parts.lock);
        parts.runners[self] = {false, nullptr};
        const Parts::Runner other = parts.runners[1 - self];
        if (parts.stopped || !other.busy) return nullptr;
        if (other.part &&
            (other.part->progress.load(std::memory_order_relaxed) & Speculation::kFinished))
            return nullptr;
        std::atomic<Speculation*>& link = other.part ? other.part->next : parts.afterFirst;
        Speculation* const next = link.load(std::memory_order_relaxed);
        const std::size_t from = other.part ? other.part->reached.load(std::memory_order_relaxed)
                                            : parts.firstReached.load(std::memory_order_relaxed);
        const std::size_t to = next ? next->start : file_.size();
        if (to <= from || to - from < worthSplitting) return nullptr;
        std::size_t start = from + (to - from) / 2;
        while (start < to && file_[start - 1] == 0xFF) ++start;
        // Room for twice the MCUs its bytes hold on average; should they
        // hold more, the first thread goes on from where its records end.
        const std::uint64_t capacity =
            std::min(mcus, 2 * (mcus * (to - start) / scanBytes) + 2 * kStep);
        if (start >= to || parts.budget < capacity * mcuBytes) return nullptr;
        try {
            parts.owned.push_back(
                std::make_unique<Speculation>(start, capacity, blockCount, splitInMcu));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        parts.budget -= capacity * mcuBytes;
        Speculation* const taken = parts.owned.back().get();
        taken->next.store(next, std::memory_order_relaxed);
        link.store(taken, std::memory_order_release);
        parts.runners[self] = {true, taken};
        return taken;
    };
    using Predictions = std::array<std::uint32_t, kMaxComponents>;
    // A part's running predictions before its record `record`.
    const auto runningBefore = [&](const Speculation& guess, std::uint64_t record) {
        Predictions running{};
        if (record > 0)
            for (std::size_t i = 0; i < scan.size(); ++i)
                running[i] = static_cast<std::uint32_t>(
                    std::int32_t{guess.dc[(record - 1) * blockCount + lastBlock[i]]});
        return running;
    };
    // `prediction` before a part's record `record` carried on to before
    // `record` + `count`.
    const auto carry = [&](Predictions prediction, const Speculation& guess, std::uint64_t record,
                           std::uint64_t count) {
        const Predictions from = runningBefore(guess, record),
                          to = runningBefore(guess, record + count);
        for (std::size_t i = 0; i < scan.size(); ++i) prediction[i] += to[i] - from[i];
        return prediction;
    };
    // Draws the MCUs [from, to) from a part's records from `record` on, the
    // DC predictions going on from `prediction`; returns them as they stand
    // after the last. Works on copies the compiler can keep in registers, so
    // that two threads may draw two runs of MCUs.
    const auto drawRecords = [&](const Speculation& guess, std::uint64_t from, std::uint64_t to,
                                 std::uint64_t record, Predictions prediction) {
        // What the part's running predictions lack.
        Predictions correction = prediction;
        const Predictions before = runningBefore(guess, record);
        for (std::size_t i = 0; i < scan.size(); ++i) correction[i] -= before[i];
        // What the loop needs of each block, in locals: a sample is a byte,
        // which may alias anything else in memory, and the loop would load
        // it all again after each one written.
        struct Drawn {
            int component, scale, splitAt;
            std::uint16_t quantDc;
            std::uint8_t* corner;  // in the first MCU
            std::size_t planeWidth, stepX, rowStep;
        };
        std::array<Drawn, kMaxBlocksInMcu> drawn{};
        const int count = blockCount, splits = splitInMcu;
        for (int b = 0; b < count; ++b) {
            const int i = blocks[b].scanIndex;
            drawn[b] = {i,
                        scales[i],
                        splitAt[b],
                        (*quant[i])[0],
                        planes[i] + blocks[b].offset,
                        planeWidth[i],
                        stepX[i],
                        std::size_t{stepY[i]} * planeWidth[i]};
        }
        const std::int16_t* dc = guess.dc.get();
        const bool* reads = guess.reads.get();
        const std::int64_t* split = guess.split.get();
        const std::uint32_t across = mcusX;
        // The MCU's place stepped along rather than divided out for each.
        auto mcuX = static_cast<std::uint32_t>(from % across),
             mcuY = static_cast<std::uint32_t>(from / across);
        for (std::uint64_t m = from, r = record; m < to; ++m, ++r) {
            if (m > from && ++mcuX == across) {
                mcuX = 0;
                ++mcuY;
            }
            for (int b = 0; b < count; ++b) {
                const Drawn& d = drawn[b];
                std::uint8_t* out = d.corner + mcuY * d.rowStep + mcuX * d.stepX;
                const std::size_t block = r * count + b;
                const std::uint32_t at =
                    correction[d.component] + static_cast<std::uint32_t>(std::int32_t{dc[block]});
                prediction[d.component] = at;
                if (d.scale == 1) {
                    *out = DcSample(at, d.quantDc);
                    continue;
                }
                if (reads[block]) {
                    SamplesFromSplit(Dequantise(static_cast<std::int32_t>(at & 0xFFFF), d.quantDc),
                                     &split[r * splits + d.splitAt], d.scale, out, d.planeWidth);
                    continue;
                }
                FillDcSample(at, d.scale, d.quantDc, out, d.planeWidth);
            }
        }
        return prediction;
    };
    // The records there are now from `cursor` on, as the MCUs from `mcu` on,
    // at most `most` of them: a run of one part's, the cursor moved past it,
    // and on to the part that took over once it is reached. An empty run
    // when none are ready, or none will come.
    const auto nextRun = [&](Cursor& cursor, std::uint64_t mcu, std::uint64_t most) {
        for (;;) {
            const Speculation& part = *cursor.part;
            const std::uint64_t progress = part.progress.load(std::memory_order_acquire);
            const bool finished = progress & Speculation::kFinished;
            const std::uint64_t end =
                finished && part.handedTo ? part.handOver : progress & ~Speculation::kFinished;
            const std::uint64_t count =
                std::min({mcus - mcu, end > cursor.record ? end - cursor.record : 0, most});
            if (count > 0 || !finished || !part.handedTo || mcu == mcus) {
                const Run run{&part, cursor.record, count};
                cursor.record += count;
                return run;
            }
            cursor = {part.handedTo, part.takenFrom};
        }
    };
    // Whether the records drawn up to `cursor` end with the MCU whose data
    // ran out.
    const auto endsInRanOut = [](const Cursor& cursor) {
        const Speculation& part = *cursor.part;
        const std::uint64_t published =
            part.progress.load(std::memory_order_acquire) & ~Speculation::kFinished;
        return !part.handedTo && published > 0 && part.ranOut[published - 1] &&
               cursor.record == published;
    };
    // Decodes from `state` a few MCUs at a time up to the scan's end, the end
    // of the data (`ranOut`), or an MCU of the part `next()` gives that
    // starts where its own next one does: that part, with `meeting.record`
    // there.
    const auto decodeToMeet = [&](ScanState& state, Meeting& meeting, bool& ranOut,
                                  const auto& next) -> const Speculation* {
        while (state.mcu < mcus) {
            const Speculation* part = next();
            if (const Speculation* met = part ? meeting.inStep(data, state.bits, *part) : nullptr)
                return met;
            if (decodePart(state, std::min(mcus, state.mcu + kStep))) {
                ranOut = true;
                return nullptr;
            }
        }
        return nullptr;
    };
    // The runs from `first` on, drawn in chunks two threads take turns at
    // when they are long, each chunk from the predictions the records give
    // at its start.
    const auto drawRuns = [&](std::span<const Run> runs, std::uint64_t first,
                              Predictions prediction) {
        std::uint64_t count = 0;
        for (const Run& run : runs) count += run.count;
        // The predictions before the runs' MCU `at`.
        const auto predictionAt = [&](std::uint64_t at) {
            Predictions carried = prediction;
            for (const Run& run : runs) {
                const std::uint64_t taken = std::min(at, run.count);
                carried = carry(carried, *run.part, run.record, taken);
                at -= taken;
                if (at == 0) break;
            }
            return carried;
        };
        const auto drawSpan = [&](std::uint64_t from, std::uint64_t to) {
            Predictions at = predictionAt(from);
            std::uint64_t offset = 0;
            for (const Run& run : runs) {
                const std::uint64_t low = std::max(from, offset);
                const std::uint64_t high = std::min(to, offset + run.count);
                if (low < high)
                    at = drawRecords(*run.part, first + low, first + high,
                                     run.record + (low - offset), at);
                offset += run.count;
            }
        };
        // Small enough that the thread done last waits little for the other.
        const std::uint64_t chunk = std::max<std::uint64_t>(count / 32, 64);
        std::atomic<std::uint64_t> next{0};
        const auto drawChunks = [&] {
            for (std::uint64_t from; (from = next.fetch_add(chunk)) < count;)
                drawSpan(from, std::min(count, from + chunk));
        };
        if (count >= parallelFromMcus_) RunSideBySide(companion_, drawChunks, drawChunks);
        else drawSpan(0, count);
        return predictionAt(count);
    };

    // With restart markers each thread decodes a lane of intervals, and once
    // done splits off the second half of what is left of the other's.
    constexpr std::size_t kMostLanes = 64;
    struct Lanes {
        std::mutex lock;
        std::vector<std::unique_ptr<Lane>> owned;  // room for kMostLanes
        std::array<Lane*, 2> running{};            // each thread's, or null
        std::vector<ScanState> ends;               // where each lane ended
        bool ranOut = false;
    };
    // Splits the rest of `other` off as thread `self`'s next lane: null when
    // that is not to be had.
    const auto splitOff = [&](Lanes& lanes, int self, Lane& other) -> Lane* {
        const auto split = splitLane(other, mcus);
        if (!split) return nullptr;
        std::unique_ptr<Lane> taken;
        try {
            taken = std::make_unique<Lane>(split->first, split->second);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        const std::lock_guard guard(lanes.lock);
        // Only this thread lowers the other's stop: it is still the one the
        // split ends at.
        if (lanes.owned.size() == kMostLanes || !other.stopAt(split->first.mcu)) return nullptr;
        Lane* const lane = taken.get();
        lanes.owned.push_back(std::move(taken));
        lanes.running[self] = lane;
        return lane;
    };
    const auto runLanes = [&](Lanes& lanes, int self, Lane* lane) {
        while (true) {
            if (lane) {
                ScanState end = lane->start;
                const bool ranOut = decodePart(end, UINT64_MAX, lane);
                const std::lock_guard guard(lanes.lock);
                lanes.ranOut |= ranOut;
                lanes.ends.push_back(end);
            }
            Lane* other = nullptr;
            {
                const std::lock_guard guard(lanes.lock);
                lanes.running[self] = nullptr;
                other = lanes.running[1 - self];
            }
            if (!other) return;
            lane = splitOff(lanes, self, *other);
            // Whatever came of it, the other thread has been looked for.
            other->looked.store(true, std::memory_order_release);
            other->looked.notify_all();
            if (!lane) return;
        }
    };

    ScanState state;
    state.bits.position = position;
    std::optional<std::size_t> middle;
    if (restartInterval_ == 0 && mcus >= parallelFromMcus_ && SecondCore() &&
        mcus * mcuBytes <= maxBytes_ / 2)
        middle = middleOfScan(position);
    const bool inLanes =
        restartInterval_ != 0 && mcus >= parallelFromMcus_ && SecondCore() && companion_.start();
    Parts parts;
    bool helped = false;
    if (middle && companion_.start()) {
        try {
            parts.owned.push_back(
                std::make_unique<Speculation>(*middle, mcus, blockCount, splitInMcu));
            Speculation* const first = parts.owned.back().get();
            parts.budget = maxBytes_ / 2 - mcus * mcuBytes;
            parts.firstReached.store(position, std::memory_order_relaxed);
            parts.runners[1].part = first;
            parts.afterFirst.store(first, std::memory_order_release);
            companion_.post([&, first] {
                for (Speculation* part = first; part; part = takeOver(parts, 1)) speculate(*part);
                parts.helperDone.store(true, std::memory_order_release);
            });
            helped = true;
        } catch (const std::bad_alloc&) {
            // No memory for the records: one thread.
        }
    }
    if (helped) {
        Meeting meeting;
        bool ranOut = false;
        const Speculation* met = decodeToMeet(state, meeting, ranOut, [&] {
            parts.firstReached.store(state.bits.position, std::memory_order_relaxed);
            return parts.afterFirst.load(std::memory_order_acquire);
        });
        Cursor cursor{met, meeting.record};
        if (met) {
            while (Speculation* part = takeOver(parts, 0)) speculate(*part);
            // Rather than wait for the other thread, this one draws what has
            // been recorded so far; what is left once it is done is drawn
            // below, by two threads.
            constexpr std::uint64_t kMostAtOnce = 4096;
            while (!parts.helperDone.load(std::memory_order_acquire)) {
                const Run run = nextRun(cursor, state.mcu, kMostAtOnce);
                if (run.count > 0) {
                    state.prediction = drawRecords(*run.part, state.mcu, state.mcu + run.count,
                                                   run.record, state.prediction);
                    state.mcu += run.count;
                    continue;
                }
                const std::uint64_t progress =
                    cursor.part->progress.load(std::memory_order_acquire);
                if (state.mcu == mcus || (progress & Speculation::kFinished)) break;
                Await(cursor.part->progress,
                      [progress](std::uint64_t now) { return now != progress; });
            }
        } else {
            const std::lock_guard guard(parts.lock);
            parts.stopped = true;
            parts.runners[0].busy = false;
            for (const std::unique_ptr<Speculation>& part : parts.owned)
                part->stop.store(true, std::memory_order_relaxed);
        }
        companion_.join();
        while (met) {
            threads_ = 2;
            std::vector<Run> runs;
            std::uint64_t mcu = state.mcu;
            for (Run run; (run = nextRun(cursor, mcu, UINT64_MAX)).count > 0; mcu += run.count)
                runs.push_back(run);
            state.prediction = drawRuns(runs, state.mcu, state.prediction);
            state.mcu = mcu;
            const Speculation* last = cursor.part;
            while (last->handedTo) last = last->handedTo;
            state.bits = last->last;
            if (state.mcu == mcus || endsInRanOut(cursor)) {
                ranOut = endsInRanOut(cursor);
                break;
            }
            // A part's records ran short (they were full): this thread goes on
            // from where they end, until the part after it takes over.
            const Speculation* after = cursor.part->next.load(std::memory_order_acquire);
            meeting = Meeting();
            met = decodeToMeet(state, meeting, ranOut, [after] { return after; });
            cursor = {met, meeting.record};
        }
        partial_ |= ranOut;
    } else if (inLanes) {
        Lanes lanes;
        lanes.owned.reserve(kMostLanes);
        lanes.ends.reserve(kMostLanes);
        lanes.owned.push_back(std::make_unique<Lane>(state, mcus));
        Lane* const first = lanes.running[0] = lanes.owned.front().get();
        first->looked.store(false, std::memory_order_relaxed);
        companion_.post([&] { runLanes(lanes, 1, nullptr); });
        runLanes(lanes, 0, first);
        companion_.join();
        if (lanes.owned.size() > 1) threads_ = 2;
        partial_ |= lanes.ranOut;
        // Where the data goes on: past the lane that got furthest.
        state =
            *std::max_element(lanes.ends.begin(), lanes.ends.end(),
                              [](const ScanState& a, const ScanState& b) { return a.mcu < b.mcu; });
    } else {
        partial_ |= decodePart(state, UINT64_MAX);
    }
    const Bits& bits = state.bits;
    position = bits.marker ? bits.markerPosition : bits.position;
}

}  // namespace preview::jpegdecoder
