#include "preview/jpeg_transforms.h"

namespace preview::jpegdecoder {

// The reference decoder's 2 x 2 inverse transform (it reads rows and columns
// 0, 1, 3, 5 and 7), in the same fixed point, for the components it decodes
// at twice the DC's resolution at an eighth (the chroma of 4:2:0).
void Transform2x2(const Coefficients& in, const QuantTable& quant, std::uint8_t* out,
                  std::size_t stride) {
    constexpr std::int64_t c1 = 29692, c3 = -10426, c5 = 6967, c7 = -5906;  // 13-bit fractions
    constexpr int kOdd[4] = {1, 3, 5, 7};
    constexpr std::int64_t kWeight[4] = {c1, c3, c5, c7};
    std::int32_t work[2][8] = {};
    for (int column : {0, 1, 3, 5, 7}) {
        const auto dequantised = [&](int row) {
            return std::int64_t{Dequantise(in[row * 8 + column], quant[row * 8 + column])};
        };
        const std::int64_t even = dequantised(0) * (1 << 15);
        std::int64_t odd = 0;
        for (int i = 0; i < 4; ++i) odd += dequantised(kOdd[i]) * kWeight[i];
        work[0][column] = static_cast<std::int32_t>((even + odd + (1 << 12)) >> 13);
        work[1][column] = static_cast<std::int32_t>((even - odd + (1 << 12)) >> 13);
    }
    for (int row = 0; row < 2; ++row) {
        const std::int64_t even = std::int64_t{work[row][0]} * (1 << 15);
        std::int64_t odd = 0;
        for (int i = 0; i < 4; ++i) odd += std::int64_t{work[row][kOdd[i]]} * kWeight[i];
        out[row * stride] = Limit((even + odd + (1 << 19)) >> 20);
        out[row * stride + 1] = Limit((even - odd + (1 << 19)) >> 20);
    }
}

// Its 4 x 4 transform (all rows and columns but 4), for a component sampled
// at a quarter of the others' rate both ways.
void Transform4x4(const Coefficients& in, const QuantTable& quant, std::uint8_t* out,
                  std::size_t stride) {
    // 13-bit fractions: the even part's c2 and c6, the odd part's weights of
    // inputs 7, 5, 3 and 1 for outputs 1/2 (first) and 0/3 (second).
    constexpr std::int64_t c2 = 15137, c6 = -6270;
    constexpr int kOdd[4] = {7, 5, 3, 1};
    constexpr std::int64_t kFirst[4] = {-1730, 11893, -17799, 8697};
    constexpr std::int64_t kSecond[4] = {-4176, -4926, 7373, 20995};
    // One 4-point pass over v[0..7]; `shift` descales its outputs.
    const auto pass = [&](const auto& v, int shift, auto store) {
        const std::int64_t base = v(0) * (1 << 14);
        const std::int64_t turn = v(2) * c2 + v(6) * c6;
        const std::int64_t even0 = base + turn, even1 = base - turn;
        std::int64_t first = 0, second = 0;
        for (int i = 0; i < 4; ++i) {
            first += v(kOdd[i]) * kFirst[i];
            second += v(kOdd[i]) * kSecond[i];
        }
        const std::int64_t half = std::int64_t{1} << (shift - 1);
        store(0, (even0 + second + half) >> shift);
        store(3, (even0 - second + half) >> shift);
        store(1, (even1 + first + half) >> shift);
        store(2, (even1 - first + half) >> shift);
    };
    std::int32_t work[4][8] = {};
    for (int column : {0, 1, 2, 3, 5, 6, 7}) {
        pass(
            [&](int row) {
                return std::int64_t{Dequantise(in[row * 8 + column], quant[row * 8 + column])};
            },
            12,
            [&](int row, std::int64_t value) {
                work[row][column] = static_cast<std::int32_t>(value);
            });
    }
    for (int row = 0; row < 4; ++row) {
        pass([&](int column) { return std::int64_t{work[row][column]}; }, 19,
             [&](int column, std::int64_t value) { out[row * stride + column] = Limit(value); });
    }
}

}  // namespace preview::jpegdecoder
