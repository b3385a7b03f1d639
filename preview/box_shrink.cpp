#include "preview/box_shrink.h"

#include <algorithm>

namespace preview {
namespace {

// One row of blocks: sums per block of R, G, B and A, premultiplied when the
// picture has alpha (a 255 x 255 product times a block of up to 2^32 pixels
// still fits 64 bits).
template <bool kAlpha>
void SumRow(const InterleavedRows& rows, std::uint32_t y, std::uint32_t factorX,
            std::uint32_t outWidth, std::uint64_t* sums) {
    constexpr std::size_t kChannels = kAlpha ? 4 : 3;
    const std::uint8_t* sample = rows.data + std::size_t{y} * rows.stride;
    for (std::uint32_t outX = 0, x = 0; outX < outWidth; ++outX, sums += 4) {
        const auto end = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(rows.width, std::uint64_t{x} + factorX));
        std::uint64_t r = 0, g = 0, b = 0, a = 0;
        for (; x < end; ++x, sample += kChannels) {
            if constexpr (kAlpha) {
                const std::uint32_t alpha = sample[3];
                r += sample[0] * alpha;
                g += sample[1] * alpha;
                b += sample[2] * alpha;
                a += alpha;
            } else {
                r += sample[0];
                g += sample[1];
                b += sample[2];
            }
        }
        sums[0] += r;
        sums[1] += g;
        sums[2] += b;
        sums[3] += a;
    }
}

}  // namespace

ShrunkPicture ShrinkByWholeFactors(const InterleavedRows& rows, std::uint32_t minWidth,
                                   std::uint32_t minHeight) {
    ShrunkPicture out;
    if (!rows.data || rows.width == 0 || rows.height == 0 || minWidth == 0 || minHeight == 0)
        return out;
    const std::uint32_t factorX = std::max(1u, rows.width / minWidth);
    const std::uint32_t factorY = std::max(1u, rows.height / minHeight);
    out.width = (rows.width + factorX - 1) / factorX;
    out.height = (rows.height + factorY - 1) / factorY;
    out.alpha = rows.alpha;
    out.pixels.resize(std::size_t{out.width} * out.height);

    std::vector<std::uint64_t> sums(std::size_t{out.width} * 4);
    for (std::uint32_t blockTop = 0, outY = 0; blockTop < rows.height;
         blockTop += factorY, ++outY) {
        std::fill(sums.begin(), sums.end(), 0);
        const std::uint32_t blockRows = std::min(factorY, rows.height - blockTop);
        for (std::uint32_t y = blockTop; y < blockTop + blockRows; ++y) {
            if (rows.alpha) SumRow<true>(rows, y, factorX, out.width, sums.data());
            else SumRow<false>(rows, y, factorX, out.width, sums.data());
        }
        std::uint32_t* line = &out.pixels[std::size_t{outY} * out.width];
        for (std::uint32_t outX = 0; outX < out.width; ++outX) {
            const std::uint64_t* sum = &sums[std::size_t{outX} * 4];
            const std::uint64_t count =
                std::uint64_t{blockRows} *
                (std::min<std::uint64_t>(rows.width, (outX + 1ull) * factorX) -
                 std::uint64_t{outX} * factorX);
            // With alpha the colour sums carry a factor of 255 too.
            const std::uint64_t divisor = rows.alpha ? count * 255 : count;
            const auto mean = [](std::uint64_t total, std::uint64_t by) {
                return static_cast<std::uint32_t>((total + by / 2) / by);
            };
            const std::uint32_t alpha = rows.alpha ? mean(sum[3], count) : 255;
            line[outX] = alpha << 24 | mean(sum[0], divisor) << 16 | mean(sum[1], divisor) << 8 |
                         mean(sum[2], divisor);
        }
    }
    return out;
}

}  // namespace preview
