// The preview decoder's 2 x 2 and 4 x 4 transforms, which keep only what the
// samples depend on and pass over columns with nothing in them, against the
// reference decoder's 2 x 2 arithmetic written out plainly (64-bit sums, a
// 32-bit workspace, a 1024-entry range limit), over blocks from sparse to
// full and from small values to the 16-bit extremes where sums wrap.
#include "preview/jpeg_transforms.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

namespace preview::jpegdecoder {
namespace {

std::array<std::uint8_t, 4> Plain2x2(const Coefficients& in, const QuantTable& quant) {
    const auto value = [&](int row, int column) {
        return std::int64_t{std::int32_t{in[row * 8 + column]} *
                            std::int32_t{static_cast<std::int16_t>(quant[row * 8 + column])}};
    };
    const auto weighed = [](const auto& v) {
        return v(1) * 29692 - v(3) * 10426 + v(5) * 6967 - v(7) * 5906;
    };
    std::int32_t work[2][8] = {};
    for (int column : {0, 1, 3, 5, 7}) {
        const std::int64_t even = value(0, column) * (1 << 15);
        const std::int64_t odd = weighed([&](int row) { return value(row, column); });
        work[0][column] = static_cast<std::int32_t>((even + odd + (1 << 12)) >> 13);
        work[1][column] = static_cast<std::int32_t>((even - odd + (1 << 12)) >> 13);
    }
    std::array<std::uint8_t, 4> out{};
    for (int row = 0; row < 2; ++row) {
        const std::int64_t even = std::int64_t{work[row][0]} * (1 << 15) + (1 << 19);
        const std::int64_t odd =
            weighed([&](int column) { return std::int64_t{work[row][column]}; });
        // The range limit: 0..255 around 128, wrapping past +-384.
        for (int x = 0; x < 2; ++x) {
            const auto index = static_cast<int>(
                static_cast<std::uint64_t>((x == 0 ? even + odd : even - odd) >> 20) & 1023);
            out[row * 2 + x] = static_cast<std::uint8_t>(index < 128   ? index + 128
                                                         : index < 512 ? 255
                                                         : index < 896 ? 0
                                                                       : index - 896);
        }
    }
    return out;
}

struct Block {
    Coefficients in{};
    QuantTable quant{};
    std::uint64_t present = 0;  // the AC positions not zero
};

// Coefficients at `density`, of up to `magnitude`, with steps of up to `step`.
Block RandomBlock(std::mt19937_64& random, double density, int magnitude, int step) {
    Block block;
    std::uniform_int_distribution<int> value(-magnitude, magnitude);
    std::uniform_int_distribution<int> quant(1, step);
    std::bernoulli_distribution present(density);
    for (int p = 0; p < 64; ++p) {
        block.quant[p] = static_cast<std::uint16_t>(quant(random));
        if (p > 0 && !present(random)) continue;
        block.in[p] = static_cast<std::int16_t>(value(random));
        if (p > 0 && block.in[p] != 0) block.present |= std::uint64_t{1} << p;
    }
    return block;
}

TEST(JpegTransforms, AreTheReferenceArithmetic) {
    const struct {
        const char* name;
        double density;
        int magnitude;
        int step;
    } cases[] = {
        {"a photo's chroma: few small coefficients", 0.08, 40, 30},
        {"half the coefficients", 0.5, 300, 60},
        {"all of them, large", 1.0, 2047, 255},
        {"16-bit extremes, sums wrap", 1.0, 32767, 65535},
        {"sparse extremes", 0.1, 32767, 65535},
    };
    std::mt19937_64 random(2026);
    for (const auto& c : cases) {
        int wrong2x2 = 0, wrong4x4 = 0;
        for (int round = 0; round < 20000; ++round) {
            const Block block = RandomBlock(random, c.density, c.magnitude, c.step);
            std::array<std::uint8_t, 4> passed{}, read{};
            Transform2x2(block.in, block.present, block.quant, passed.data(), 2);
            Transform2x2(block.in, ~std::uint64_t{0}, block.quant, read.data(), 2);
            std::array<std::uint8_t, 4> samples = passed;  // as a plane keeps them
            for (std::uint8_t& sample : samples) sample ^= kKept;
            wrong2x2 += samples != Plain2x2(block.in, block.quant) || read != passed;
            std::array<std::uint8_t, 16> passed4{}, read4{};
            Transform4x4(block.in, block.present, block.quant, passed4.data(), 4);
            Transform4x4(block.in, ~std::uint64_t{0}, block.quant, read4.data(), 4);
            wrong4x4 += passed4 != read4;
        }
        EXPECT_EQ(wrong2x2, 0) << c.name;
        EXPECT_EQ(wrong4x4, 0) << c.name;
    }
}

}  // namespace
}  // namespace preview::jpegdecoder
