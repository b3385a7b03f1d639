// The JPEG preview decoder's arithmetic on coefficients and samples:
// dequantisation, the range limit, the coefficient orders, what a progressive
// block keeps, and the reference decoder's small inverse transforms in its
// own fixed point. Internal to the decoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace preview::jpegdecoder {

// A plane keeps each sample less 128, as a byte (the sample with its top bit
// flipped): the zeros memory comes as are mid-grey, the colour of a block no
// data reached, so a plane needs no filling before it is drawn.
inline constexpr std::uint8_t kKept = 0x80;

// The 1 x 1 inverse transform's output: the DC value descaled, centred on 128
// and limited the way the reference decoder limits it (values far outside
// 0..255 wrap through its 1024-entry table rather than clamp); as a plane
// keeps it.
struct RangeLimit {
    std::array<std::uint8_t, 1024> table{};
    constexpr RangeLimit() {
        for (int i = 0; i < 1024; ++i) {
            int sample = 0;
            if (i < 128) sample = i + 128;
            else if (i < 512) sample = 255;
            else if (i < 896) sample = 0;
            else sample = i - 896;
            table[i] = static_cast<std::uint8_t>(sample ^ kKept);
        }
    }
};
inline constexpr RangeLimit kRangeLimit;

inline std::uint8_t Limit(std::int64_t value) {
    return kRangeLimit.table[static_cast<std::uint64_t>(value) & 1023];
}

// Coefficients and quantisation steps are 16-bit in the reference decoder, so
// wild values wrap as they do there.
inline std::int32_t Dequantise(std::int32_t coefficient, std::uint16_t quant) {
    return static_cast<std::int16_t>(coefficient) *
           static_cast<std::int32_t>(static_cast<std::int16_t>(quant));
}

inline std::uint8_t DcSample(std::uint32_t prediction, std::uint16_t quant) {
    return Limit(
        (std::int64_t{Dequantise(static_cast<std::int32_t>(prediction & 0xFFFF), quant)} + 4) >> 3);
}

using Coefficients = std::array<std::int16_t, 64>;
using QuantTable = std::array<std::uint16_t, 64>;  // in natural order

// Zigzag position to natural order; runs past the end land on the last.
inline constexpr std::array<std::uint8_t, 80> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// The AC positions a transform reads: rows and columns 0, 1, 3, 5, 7 (2 x 2)
// or all but 4 (4 x 4).
constexpr std::uint64_t TransformReads(std::initializer_list<int> lines) {
    std::uint64_t mask = 0;
    for (int row : lines)
        for (int column : lines) mask |= std::uint64_t{1} << (row * 8 + column);
    return mask & ~std::uint64_t{1};
}
inline constexpr std::uint64_t kReads2x2 = TransformReads({0, 1, 3, 5, 7});
inline constexpr std::uint64_t kReads4x4 = TransformReads({0, 1, 2, 3, 5, 6, 7});

// Where a progressive block's coefficients are kept until the last scan: the
// DC alone, or the DC and the positions a transform reads. -1: not kept.
struct Slots {
    std::array<std::int8_t, 64> of{};
    std::array<std::uint8_t, 64> position{};  // of each slot
    int count = 0;
    constexpr explicit Slots(std::uint64_t reads) {
        for (int p = 0; p < 64; ++p) {
            const bool kept = p == 0 || ((reads >> p) & 1);
            if (kept) position[count] = static_cast<std::uint8_t>(p);
            of[p] = static_cast<std::int8_t>(kept ? count++ : -1);
        }
    }
};
inline constexpr Slots kSlotsDc(0);
inline constexpr Slots kSlots2x2(kReads2x2);
inline constexpr Slots kSlots4x4(kReads4x4);

// The reference decoder's 2 x 2 inverse transform (it reads rows and columns
// 0, 1, 3, 5 and 7), in the same fixed point, for the components it decodes
// at twice the DC's resolution at an eighth (the chroma of 4:2:0).
// `present` holds the positions that may not be zero (bit n for natural
// position n): a column with none it reads is passed over.
void Transform2x2(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
                  std::uint8_t* out, std::size_t stride);

// Its 4 x 4 transform (all rows and columns but 4), for a component sampled
// at a quarter of the others' rate both ways.
void Transform4x4(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
                  std::uint8_t* out, std::size_t stride);

// Both transforms split at the DC. The DC enters them only through the first
// column's even part, a multiple of the first pass's divisor there, so that
// column's output in row y is 4 x the DC dequantised plus a part of the AC
// coefficients alone, kept in 32 bits as the reference decoder's workspace
// keeps it; each sample of the row is then that << evenShift, plus a rest of
// the AC alone, >> shift. The AC's parts are what a thread that does not know
// the DC yet can work out and keep; the transforms go through them too.
struct TransformSplit {
    int evenShift;
    int shift;
};
inline constexpr TransformSplit kSplit4x4{14, 19};
// Values of a split. 4 x 4: the first column's part of each row, then the
// rest of each sample, row by row. 2 x 2 (evenShift 15, shift 20): a row's
// two samples are its even part plus and minus its odd part, and the range
// limit reads only bits 5 to 14 of the sum at the first column's scale, so
// one value keeps both rows (the first's in the low 32 bits), each as far as
// its samples depend on it: the first column's part modulo 2^15 (bits 0 to
// 14), the odd part divided by 2^15 (rounded down) modulo 2^15 (bits 16 to
// 30), and whether the division left a rest (bit 31), which takes the second
// sample one lower.
inline constexpr int kSplitValues2x2 = 1, kSplitValues4x4 = 4 + 16;
inline constexpr std::uint32_t kSplitBits2x2 = 0x7FFF;

// The split of a `scale` x `scale` transform (2 or 4); in[0] is not read.
void SplitTransform(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
                    int scale, std::int64_t* split);

inline void SamplesFromSplit(std::int32_t dequantisedDc, const std::int64_t* split, int scale,
                             std::uint8_t* out, std::size_t stride) {
    if (scale == 2) {
        const auto both = static_cast<std::uint64_t>(split[0]);
        for (int y = 0; y < 2; ++y) {
            const auto row = static_cast<std::uint32_t>(both >> (32 * y));
            // The even part, rounding (1 << 19) included, at the first
            // column's scale.
            const std::uint32_t even =
                static_cast<std::uint32_t>(dequantisedDc) * 4u + (row & kSplitBits2x2) + 16;
            const std::uint32_t odd = (row >> 16) & kSplitBits2x2;
            out[y * stride] = kRangeLimit.table[((even + odd) & kSplitBits2x2) >> 5];
            out[y * stride + 1] =
                kRangeLimit.table[((even - odd - (row >> 31)) & kSplitBits2x2) >> 5];
        }
        return;
    }
    const TransformSplit shifts = kSplit4x4;
    const std::int64_t* rest = split + 4;
    for (int y = 0; y < 4; ++y) {
        const auto first = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(dequantisedDc) * 4u + static_cast<std::uint32_t>(split[y]));
        const std::int64_t even = std::int64_t{first} * (std::int64_t{1} << shifts.evenShift);
        for (int x = 0; x < 4; ++x)
            out[y * stride + static_cast<std::size_t>(x)] =
                Limit((even + rest[y * 4 + x]) >> shifts.shift);
    }
}

}  // namespace preview::jpegdecoder
