// Sequential scans: each block's DC decoded into its component's plane and
// its AC coefficients skipped, but for the components whose small transforms
// read them.
#include "preview/jpeg_decoder.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <thread>

namespace preview::jpegdecoder {

namespace {

// Passes over a block's AC coefficients.
inline void SkipAc(const HuffmanTable& ac, Bits& bits, std::span<const std::uint8_t> data) {
    for (int k = 1; k < 64;) {
        if (bits.count < 32) Refill(bits, data);
        if (const std::uint32_t entry = ac.skip[bits.buffer >> (64 - kLookahead)]) {
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
        if (extra) k += run + 1;
        else if (run == 15) k += 16;
        else break;
    }
}

// A block whose transform reads none of the coefficients written: its DC
// sample throughout.
inline void FillDcSample(std::uint32_t prediction, int scale, const QuantTable& quant,
                         std::uint8_t* out, std::uint32_t stride) {
    const std::uint8_t sample = DcSample(prediction, quant[0]);
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
        if (scale == 2) Transform2x2(coefficients, quant, out, stride);
        else Transform4x4(coefficients, quant, out, stride);
        return;
    }
    FillDcSample(prediction, scale, quant, out, stride);
}

// What the thread that decodes from a guessed point in the middle of a scan
// keeps of each MCU it takes the data for, until the first thread finds
// where their MCUs line up (Huffman codes fall back into step within a few
// symbols of a wrong start; an MCU start at the same bit as one of the first
// thread's is in step for good). The DC as differences, since its
// predictions start from a wrong value; of a block a small transform draws,
// the transform's split without the DC, so that once the DC is known only
// the samples are left to work out.
struct Speculation {
    Speculation(std::uint64_t mcus, int blocksInMcu, int splitInMcu)
        : capacity(mcus),
          at(std::make_unique_for_overwrite<std::uint64_t[]>(mcus)),
          ranOut(std::make_unique_for_overwrite<bool[]>(mcus)),
          dc(std::make_unique_for_overwrite<std::int16_t[]>(mcus * blocksInMcu)),
          reads(std::make_unique_for_overwrite<bool[]>(mcus * blocksInMcu)),
          split(std::make_unique_for_overwrite<std::int64_t[]>(mcus * splitInMcu)) {}

    std::uint64_t capacity;               // MCUs
    std::unique_ptr<std::uint64_t[]> at;  // data bits from the thread's start to each MCU's start
    std::unique_ptr<bool[]> ranOut;       // the data ran out within the MCU
    std::unique_ptr<std::int16_t[]> dc;   // each block's DC difference
    // Blocks of components drawn by a small transform: whether it reads
    // some of the block, and then its split (else its DC sample fills it).
    std::unique_ptr<bool[]> reads;
    std::unique_ptr<std::int64_t[]> split;
    // The MCUs whose records the other thread may read, and kFinished once
    // no more will come.
    static constexpr std::uint64_t kFinished = std::uint64_t{1} << 63;
    std::atomic<std::uint64_t> progress{0};
    std::atomic<bool> stop{false};
    Bits last;  // the reader where it stopped
};

// Bytes each MCU's records take.
std::uint64_t SpeculationBytes(int blocksInMcu, int splitInMcu) {
    return sizeof(std::uint64_t) + sizeof(bool) +
           std::uint64_t(blocksInMcu) * (sizeof(std::int16_t) + sizeof(bool)) +
           std::uint64_t(splitInMcu) * sizeof(std::int64_t);
}

}  // namespace

std::optional<std::size_t> Decoder::middleOfScan(std::size_t from) const {
    if (from >= file_.size()) return {};
    std::size_t middle = from + (file_.size() - from) / 2;
    // Not the second byte of a stuffed 0xFF.
    while (middle < file_.size() && file_[middle - 1] == 0xFF) ++middle;
    if (middle >= file_.size()) return {};
    return middle;
}

std::uint64_t Decoder::dataBitsBefore(std::size_t middle, const Bits& bits) const {
    // The reader takes a stuffed 0xFF, and the fill before it, whole, and the
    // middle is not within one: what lies between is whole data bytes.
    std::uint64_t dataBytes = 0;
    for (std::size_t at = middle; at < bits.position; ++dataBytes) {
        if (file_[at] != 0xFF) {
            ++at;
            continue;
        }
        while (at < bits.position && file_[at] == 0xFF) ++at;
        ++at;  // the stuffed zero
    }
    return bits.loaded - dataBytes * 8;
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
    const auto decodePart = [&](ScanState& state, std::uint64_t stopAt) {
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
        return walkScan(mcusX, mcusY, state, decodeMcu, stopAt);
    };

    // Where the reader stands in the data: bits from the scan's start.
    const auto bitsRead = [](const Bits& bits) {
        return bits.loaded - static_cast<std::uint64_t>(bits.count - bits.pad);
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
    // The other thread's part: from `start` as if an MCU began there, until
    // the data runs out, its records are full or it is told to stop.
    const auto speculate = [&](Speculation& guess, std::size_t start) {
        Bits bits;
        bits.position = start;
        Coefficients coefficients{};
        for (std::uint64_t m = 0; m < guess.capacity && !guess.stop.load(std::memory_order_relaxed);
             ++m) {
            guess.at[m] = bitsRead(bits);
            for (int b = 0; b < blockCount; ++b) {
                const int i = blocks[b].scanIndex;
                const std::size_t block = m * blockCount + b;
                // A difference takes at most 15 bits and a sign.
                guess.dc[block] =
                    static_cast<std::int16_t>(DecodeDcDifference(*scan[i].dc, bits, data));
                if (scales[i] == 1) {
                    SkipAc(*scan[i].ac, bits, data);
                    continue;
                }
                guess.reads[block] = false;
                std::uint64_t written = DecodeAc(*scan[i].ac, bits, data, coefficients);
                if (written & (scales[i] == 2 ? kReads2x2 : kReads4x4)) {
                    guess.reads[block] = true;
                    SplitTransform(coefficients, *quant[i], scales[i],
                                   &guess.split[m * splitInMcu + splitAt[b]]);
                }
                for (; written; written &= written - 1) coefficients[std::countr_zero(written)] = 0;
            }
            guess.ranOut[m] = bits.count < bits.pad;
            guess.progress.store(m + 1, std::memory_order_release);
            if (m % 64 == 0) guess.progress.notify_one();
            if (guess.ranOut[m]) break;
        }
        guess.last = bits;
        guess.progress.fetch_or(Speculation::kFinished, std::memory_order_release);
        guess.progress.notify_one();
    };
    using Predictions = std::array<std::uint32_t, kMaxComponents>;
    // Draws the MCUs [from, to) from the other thread's records from
    // `record` on, the DC predictions going on from `prediction`; returns
    // them as they stand after the last. Works on copies the compiler can
    // keep in registers, so that two threads may draw two runs of MCUs.
    const auto drawRecords = [&](const Speculation& guess, std::uint64_t from, std::uint64_t to,
                                 std::uint64_t record, Predictions prediction) {
        for (std::uint64_t m = from, r = record; m < to; ++m, ++r) {
            const auto mcuX = static_cast<std::uint32_t>(m % mcusX),
                       mcuY = static_cast<std::uint32_t>(m / mcusX);
            for (int b = 0; b < blockCount; ++b) {
                const int i = blocks[b].scanIndex;
                std::uint8_t* out = planes[i] + std::size_t{mcuY} * stepY[i] * planeWidth[i] +
                                    std::size_t{mcuX} * stepX[i] + blocks[b].offset;
                const std::size_t block = r * blockCount + b;
                prediction[i] += static_cast<std::uint32_t>(guess.dc[block]);
                if (scales[i] == 1) {
                    *out = DcSample(prediction[i], (*quant[i])[0]);
                    continue;
                }
                if (guess.reads[block]) {
                    SamplesFromSplit(Dequantise(static_cast<std::int32_t>(prediction[i] & 0xFFFF),
                                                (*quant[i])[0]),
                                     &guess.split[r * splitInMcu + splitAt[b]], scales[i], out,
                                     planeWidth[i]);
                    continue;
                }
                FillDcSample(prediction[i], scales[i], *quant[i], out, planeWidth[i]);
            }
        }
        return prediction;
    };
    // The MCUs from `first` on drawn from the other thread's records from
    // `record` on, those before drawn already; false when the records end
    // before the scan's data does. A long run is drawn by two threads, the
    // second half from the predictions the first half's DC differences add
    // up to.
    const auto drawGuessed = [&](ScanState& state, std::uint64_t first, const Speculation& guess,
                                 std::uint64_t record) {
        const std::uint64_t published =
            guess.progress.load(std::memory_order_acquire) & ~Speculation::kFinished;
        const bool ranOut = published > 0 && guess.ranOut[published - 1];
        if (record + (mcus - first) > published && !ranOut) return false;
        // Up to the scan's end, or to the record whose data ran out (the
        // last one the other thread wrote).
        const std::uint64_t count = std::min(mcus - first, published - record);
        const std::uint64_t half = count >= parallelFromMcus_ ? count / 2 : 0;
        const Predictions atFirst = state.prediction;
        Predictions atHalf = atFirst;
        for (std::uint64_t r = record; r < record + half; ++r)
            for (int b = 0; b < blockCount; ++b)
                atHalf[blocks[b].scanIndex] +=
                    static_cast<std::uint32_t>(guess.dc[r * blockCount + b]);
        const auto secondHalf = [&] {
            state.prediction =
                drawRecords(guess, first + half, first + count, record + half, atHalf);
        };
        if (half > 0)
            RunSideBySide([&] { drawRecords(guess, first, first + half, record, atFirst); },
                          secondHalf);
        else secondHalf();
        partial_ |= ranOut && record + count == published;
        state.bits = guess.last;
        return true;
    };

    ScanState state;
    state.bits.position = position;
    std::optional<ScanState> second = splitAtRestart(position, mcus);
    std::optional<std::size_t> middle;
    if (!second && restartInterval_ == 0 && mcus >= parallelFromMcus_ && SecondCore() &&
        mcus * SpeculationBytes(blockCount, splitInMcu) <= maxBytes_ / 2)
        middle = middleOfScan(position);
    std::unique_ptr<Speculation> records;
    std::thread helper;
    if (middle) {
        try {
            records = std::make_unique<Speculation>(mcus, blockCount, splitInMcu);
            helper = std::thread([&] { speculate(*records, *middle); });
        } catch (const std::exception&) {
            // No memory or no thread to be had (a limit on them): one thread.
        }
    }
    if (helper.joinable()) {
        Speculation& guess = *records;
        // This thread decodes from the start, a few MCUs at a time, and looks
        // at each step for an MCU of the other thread's that starts where its
        // next one does.
        constexpr std::uint64_t kStep = 32;
        std::uint64_t record = 0;
        std::optional<std::uint64_t> middleBits;  // known once this thread is past it
        bool looking = true, inStep = false, ranOut = false;
        while (state.mcu < mcus) {
            if (looking && !middleBits && state.bits.position >= *middle)
                middleBits = dataBitsBefore(*middle, state.bits);
            const std::uint64_t here = bitsRead(state.bits);
            if (looking && middleBits && here >= *middleBits) {
                // The other thread, which started at the middle long before
                // this one got there, is waited for only when it has not
                // got this far yet (a small photo).
                const std::uint64_t there = here - *middleBits;
                std::uint64_t progress = guess.progress.load(std::memory_order_acquire);
                for (;;) {
                    const std::uint64_t published = progress & ~Speculation::kFinished;
                    while (record < published && guess.at[record] < there) ++record;
                    if (record < published || (progress & Speculation::kFinished)) break;
                    guess.progress.wait(progress, std::memory_order_acquire);
                    progress = guess.progress.load(std::memory_order_acquire);
                }
                const std::uint64_t published = progress & ~Speculation::kFinished;
                if (record < published && guess.at[record] == there) {
                    inStep = true;
                    break;
                }
                looking = record < published;
            }
            if (decodePart(state, std::min(mcus, state.mcu + kStep))) {
                ranOut = true;
                break;
            }
        }
        if (!inStep) guess.stop.store(true, std::memory_order_relaxed);
        const ScanState atStep = state;
        if (inStep) {
            // Rather than wait for the other thread, this one draws what it
            // has recorded so far; what it records later is drawn below, by
            // two threads.
            std::uint64_t progress = guess.progress.load(std::memory_order_acquire);
            while (!(progress & Speculation::kFinished) && state.mcu < mcus) {
                const std::uint64_t ready = std::min(progress, record + (mcus - state.mcu));
                if (ready > record) {
                    state.prediction = drawRecords(guess, state.mcu, state.mcu + (ready - record),
                                                   record, state.prediction);
                    state.mcu += ready - record;
                    record = ready;
                } else {
                    guess.progress.wait(progress, std::memory_order_acquire);
                }
                progress = guess.progress.load(std::memory_order_acquire);
            }
        }
        helper.join();
        if (inStep && drawGuessed(state, state.mcu, guess, record)) {
            threads_ = 2;
        } else if (ranOut) {
            partial_ = true;
        } else {
            // The other thread stopped short of the scan's end (its records
            // full): this one decodes again from where they fell into step.
            state = atStep;
            if (state.mcu < mcus) partial_ |= decodePart(state, UINT64_MAX);
        }
    } else if (second) {
        bool firstRanOut = false, secondRanOut = false;
        const std::uint64_t split = second->mcu;
        if (RunSideBySide([&] { firstRanOut = decodePart(state, split); },
                          [&] { secondRanOut = decodePart(*second, UINT64_MAX); }))
            threads_ = 2;
        partial_ |= firstRanOut || secondRanOut;
        state = *second;
    } else {
        partial_ |= decodePart(state, UINT64_MAX);
    }
    const Bits& bits = state.bits;
    position = bits.marker ? bits.markerPosition : bits.position;
}

}  // namespace preview::jpegdecoder
