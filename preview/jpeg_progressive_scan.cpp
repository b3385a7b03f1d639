// Progressive scans: the DC scans decoded, with successive approximation,
// into one kept value per block; the AC scans passed over by their markers,
// but for the components whose small transforms read the first
// coefficients, which are kept and refined too; and at the end the kept
// coefficients through the transforms into the planes.
#include "preview/jpeg_decoder.h"

#include <cstring>

namespace preview::jpegdecoder {
namespace {

// The coefficients a progressive block keeps until the last scan, and which
// of all its 64 are not zero: a refinement scan adds a bit to each of those,
// kept or not. Coefficients are 16-bit, as in the reference decoder.
struct KeptBlock {
    std::int16_t* kept;
    std::uint64_t* nonzero;
    const Slots* slots;

    bool isNonzero(int position) const { return (*nonzero >> position) & 1; }
    void set(int position, std::int32_t value) {
        const auto coefficient = static_cast<std::int16_t>(value);
        const std::uint64_t bit = std::uint64_t{1} << position;
        *nonzero = coefficient ? *nonzero | bit : *nonzero & ~bit;
        if (const int slot = slots->of[position]; slot >= 0) kept[slot] = coefficient;
    }
    // A correction bit of 1: away from zero by `step`, unless done already.
    // A coefficient that is not zero never becomes zero this way.
    void correct(int position, std::int32_t step) {
        const int slot = slots->of[position];
        if (slot < 0 || (kept[slot] & step)) return;
        kept[slot] = static_cast<std::int16_t>(kept[slot] + (kept[slot] >= 0 ? step : -step));
    }
};

// One block of a first AC scan of the band first..last, values scaled by
// 2^shift, as the reference decoder reads it: a run of blocks with nothing
// in the band (`emptyBlocks`) counts down first. A run of zeros may carry the
// position past the band's end, and the value lands there.
void DecodeAcFirst(const HuffmanTable& table, Bits& bits, std::span<const std::uint8_t> data,
                   int first, int last, int shift, KeptBlock block, std::uint32_t& emptyBlocks) {
    if (emptyBlocks > 0) {
        --emptyBlocks;
        return;
    }
    for (int k = first; k <= last; ++k) {
        if (bits.count < 32) Refill(bits, data);
        const Symbol symbol = NextSymbol(table, bits);
        const int run = symbol.value >> 4;
        const int size = symbol.value & 15;
        if (size) {
            k += run;
            const std::int32_t value = Extend(TakeBits(bits, size), size);
            block.set(kNaturalOrder[k],
                      static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift));
        } else if (run == 15) {
            k += 15;
        } else {
            emptyBlocks = (1u << run) + (run ? TakeBits(bits, run) : 0) - 1;
            break;
        }
    }
}

// One block of an AC refinement scan: the bit `step` of every coefficient in
// the band. New coefficients (of +-step) come with runs of zeros to skip, and
// each coefficient that is already not zero on the way takes one correction
// bit; a new coefficient whose run ends past the band lands just after it.
void DecodeAcRefine(const HuffmanTable& table, Bits& bits, std::span<const std::uint8_t> data,
                    int first, int last, std::int32_t step, KeptBlock block,
                    std::uint32_t& emptyBlocks) {
    const auto correct = [&](int position) {
        if (bits.count < 32) Refill(bits, data);
        if (TakeBits(bits, 1)) block.correct(position, step);
    };
    int k = first;
    if (emptyBlocks == 0) {
        for (; k <= last; ++k) {
            if (bits.count < 32) Refill(bits, data);
            const Symbol symbol = NextSymbol(table, bits);
            int run = symbol.value >> 4;
            std::int32_t value = 0;
            if (symbol.value & 15) {
                // Only the sign is coded, whatever size the symbol claims.
                value = TakeBits(bits, 1) ? step : -step;
            } else if (run != 15) {
                emptyBlocks = (1u << run) + (run ? TakeBits(bits, run) : 0);
                break;
            }
            do {
                const int position = kNaturalOrder[k];
                if (block.isNonzero(position)) correct(position);
                else if (--run < 0) break;
                ++k;
            } while (k <= last);
            if (value) block.set(kNaturalOrder[k], value);
        }
    }
    if (emptyBlocks > 0) {
        for (; k <= last; ++k)
            if (block.isNonzero(kNaturalOrder[k])) correct(kNaturalOrder[k]);
        --emptyBlocks;
    }
}

}  // namespace

bool Decoder::readProgressiveScan(ByteView header, std::span<ScanComponent> scan,
                                  std::size_t& position) {
    const std::size_t at = 1 + 2 * scan.size();
    const int first = header.u8(at);
    const int last = header.u8(at + 1);
    const int high = header.u8(at + 2) >> 4;  // the bit refined, plus one; 0 in a first scan
    const int low = header.u8(at + 2) & 15;   // the lowest bit sent
    // The reference decoder's rules, which end its decoding when broken: a DC
    // scan has the DC alone, an AC scan one component, a refinement one bit.
    const bool dc = first == 0;
    if (dc ? last != 0 : first > last || last > 63 || scan.size() != 1) return false;
    if ((high != 0 && low != high - 1) || low > 13) return false;
    // Only a first DC scan and an AC scan have a table to check.
    for (const ScanComponent& s : scan) {
        if (dc && high == 0 && !s.dc) return false;
        if (!dc && !s.ac) return false;
    }
    for (const ScanComponent& s : scan)
        for (int k = first; k <= std::min(last, 9); ++k) s.component->lowBit[k] = low;

    if (dc) {
        decodeDcScan(scan, low, high != 0, position);
    } else if (scan[0].component->scale == 1) {
        // Nothing at an eighth comes from these coefficients.
        skipScan(std::uint64_t{scan[0].component->blocksWide} * scan[0].component->blocksHigh,
                 position);
    } else {
        decodeAcScan(scan[0], first, last, low, high != 0, position);
    }
    return true;
}

void Decoder::decodeDcScan(std::span<const ScanComponent> scan, int low, bool refine,
                           std::size_t& position) {
    // Blocks are numbered in each component's MCU-padded grid.
    std::uint32_t mcusX = mcusX_, mcusY = mcusY_;
    std::array<McuBlock, kMaxBlocksInMcu> blocks{};
    int blockCount = 0;
    std::array<std::uint32_t, kMaxComponents> stepX{}, stepY{};
    std::array<std::int16_t*, kMaxComponents> kept{};
    std::array<int, kMaxComponents> slotCount{};
    for (std::size_t i = 0; i < scan.size(); ++i) {
        Component& c = *scan[i].component;
        kept[i] = c.coefficients.data();
        slotCount[i] = c.slots->count;
        if (scan.size() == 1) {
            mcusX = c.blocksWide;
            mcusY = c.blocksHigh;
            stepX[i] = 1;
            stepY[i] = c.blocksPerRow;
            blocks[blockCount++] = {0, 0};
            break;
        }
        stepX[i] = c.h;
        stepY[i] = c.v * c.blocksPerRow;
        for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(c.v); ++y)
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(c.h); ++x)
                blocks[blockCount++] = {static_cast<int>(i), y * c.blocksPerRow + x};
    }

    const std::span<const std::uint8_t> data = file_;
    ScanState state;
    state.bits.position = position;
    const auto dc = [&](int b, std::uint32_t mcuX, std::uint32_t mcuY) -> std::int16_t& {
        const int i = blocks[b].scanIndex;
        const std::size_t block =
            std::size_t{mcuY} * stepY[i] + std::size_t{mcuX} * stepX[i] + blocks[b].offset;
        return kept[i][block * slotCount[i]];
    };
    if (refine) {
        const auto bit = static_cast<std::int16_t>(1 << low);
        partial_ |= walkScan(mcusX, mcusY, state,
                             [&](Bits& bits, ScanState&, std::uint32_t mcuX, std::uint32_t mcuY) {
                                 for (int b = 0; b < blockCount; ++b) {
                                     if (bits.count < 32) Refill(bits, data);
                                     if (TakeBits(bits, 1)) dc(b, mcuX, mcuY) |= bit;
                                 }
                             });
    } else {
        partial_ |= walkScan(
            mcusX, mcusY, state,
            [&](Bits& bits, ScanState& s, std::uint32_t mcuX, std::uint32_t mcuY) {
                for (int b = 0; b < blockCount; ++b) {
                    const int i = blocks[b].scanIndex;
                    s.prediction[i] +=
                        static_cast<std::uint32_t>(DecodeDcDifference(*scan[i].dc, bits, data));
                    dc(b, mcuX, mcuY) = static_cast<std::int16_t>(s.prediction[i] << low);
                }
            });
    }
    position = state.bits.marker ? state.bits.markerPosition : state.bits.position;
}

void Decoder::decodeAcScan(const ScanComponent& scan, int first, int last, int low, bool refine,
                           std::size_t& position) {
    Component& c = *scan.component;
    const HuffmanTable& table = *scan.ac;
    const std::span<const std::uint8_t> data = file_;
    ScanState state;
    state.bits.position = position;
    partial_ |=
        walkScan(c.blocksWide, c.blocksHigh, state,
                 [&](Bits& bits, ScanState& s, std::uint32_t x, std::uint32_t y) {
                     const std::size_t index = std::size_t{y} * c.blocksPerRow + x;
                     const KeptBlock block{&c.coefficients[index * c.slots->count],
                                           &c.nonzero[index], c.slots};
                     if (refine)
                         DecodeAcRefine(table, bits, data, first, last, std::int32_t{1} << low,
                                        block, s.emptyBlocks);
                     else DecodeAcFirst(table, bits, data, first, last, low, block, s.emptyBlocks);
                 });
    position = state.bits.marker ? state.bits.markerPosition : state.bits.position;
}

void Decoder::transformCoefficients() {
    for (Component& c : components_) {
        c.plane = {};
        c.plane.resize(std::size_t{c.planeWidth} * c.planeHeight);
        const std::uint32_t blockRows = mcusY_ * c.v;
        const auto scale = static_cast<std::uint32_t>(c.scale);
        // A component no scan named stays mid-grey.
        if (c.quant) {
            const QuantTable& quant = *c.quant;
            const std::uint64_t reads = scale == 2 ? kReads2x2 : kReads4x4;
            Coefficients coefficients{};
            for (std::uint32_t y = 0; y < blockRows; ++y) {
                for (std::uint32_t x = 0; x < c.blocksPerRow; ++x) {
                    const std::size_t index = std::size_t{y} * c.blocksPerRow + x;
                    const std::int16_t* kept = &c.coefficients[index * c.slots->count];
                    std::uint8_t* out =
                        &c.plane[std::size_t{y} * scale * c.planeWidth + std::size_t{x} * scale];
                    const std::uint8_t sample =
                        DcSample(static_cast<std::uint16_t>(kept[0]), quant[0]);
                    if (scale == 1 || !(c.nonzero[index] & reads)) {
                        for (std::uint32_t row = 0; row < scale; ++row)
                            std::memset(out + row * std::size_t{c.planeWidth}, sample, scale);
                        continue;
                    }
                    for (int slot = 0; slot < c.slots->count; ++slot)
                        coefficients[c.slots->position[slot]] = kept[slot];
                    if (scale == 2)
                        Transform2x2(coefficients, c.nonzero[index], quant, out, c.planeWidth);
                    else Transform4x4(coefficients, c.nonzero[index], quant, out, c.planeWidth);
                }
            }
        }
        std::vector<std::int16_t>().swap(c.coefficients);
        std::vector<std::uint64_t>().swap(c.nonzero);
    }
}

}  // namespace preview::jpegdecoder
