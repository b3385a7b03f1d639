// Sequential scans: each block's DC decoded into its component's plane and
// its AC coefficients skipped, but for the components whose small transforms
// read them.
#include "preview/jpeg_decoder.h"

#include <bit>
#include <cstring>
#include <system_error>
#include <thread>

namespace preview::jpegdecoder {

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
        Bits& bits = state.bits;
        std::array<std::uint32_t, kMaxComponents>& prediction = state.prediction;
        const auto decodeMcu = [&](std::uint32_t mcuX, std::uint32_t mcuY) {
            std::array<std::uint8_t*, kMaxComponents> corner{};
            for (std::size_t i = 0; i < scan.size(); ++i)
                corner[i] = planes[i] + std::size_t{mcuY} * stepY[i] * planeWidth[i] + std::size_t{mcuX} * stepX[i];
            for (int b = 0; b < blockCount; ++b) {
                const int i = blocks[b].scanIndex;
                const HuffmanTable& ac = *scan[i].ac;
                prediction[i] += static_cast<std::uint32_t>(DecodeDcDifference(*scan[i].dc, bits, data));
                if (scales[i] > 1) {
                    std::uint64_t written = DecodeAc(ac, bits, data, coefficients);
                    std::uint8_t* out = corner[i] + blocks[b].offset;
                    const int scale = scales[i];
                    if (written & (scale == 2 ? kReads2x2 : kReads4x4)) {
                        coefficients[0] = static_cast<std::int16_t>(prediction[i] & 0xFFFF);
                        if (scale == 2) Transform2x2(coefficients, *quant[i], out, planeWidth[i]);
                        else Transform4x4(coefficients, *quant[i], out, planeWidth[i]);
                    } else {
                        // Without those the transform gives the DC sample throughout.
                        const std::uint8_t sample = DcSample(prediction[i], (*quant[i])[0]);
                        for (int y = 0; y < scale; ++y) std::memset(out + y * std::size_t{planeWidth[i]}, sample, scale);
                    }
                    for (; written; written &= written - 1) coefficients[std::countr_zero(written)] = 0;
                    continue;
                }
                corner[i][blocks[b].offset] = DcSample(prediction[i], (*quant[i])[0]);

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
        };
        return walkScan(mcusX, mcusY, state, decodeMcu, stopAt);
    };

    ScanState state;
    state.bits.position = position;
    std::optional<ScanState> second = splitAtRestart(position, std::uint64_t{mcusX} * mcusY);
    if (second) {
        bool secondRanOut = false;
        const std::uint64_t split = second->mcu;
        std::thread helper;
        try {
            helper = std::thread([&] { secondRanOut = decodePart(*second, UINT64_MAX); });
        } catch (const std::system_error&) {
            // No thread to be had (a limit on them): the second part after the first.
        }
        partial_ |= decodePart(state, split);
        if (helper.joinable()) {
            helper.join();
            threads_ = 2;
        } else {
            secondRanOut = decodePart(*second, UINT64_MAX);
        }
        partial_ |= secondRanOut;
        state = *second;
    } else {
        partial_ |= decodePart(state, UINT64_MAX);
    }
    const Bits& bits = state.bits;
    position = bits.marker ? bits.markerPosition : bits.position;
}

}  // namespace preview::jpegdecoder
