// Reduces a large decoded picture to about the size it is drawn at, by whole
// factors, averaging each block of pixels: one pass over the big buffer and
// no second buffer of its size. The caller scales the small result the rest
// of the way. Plain C++ (no Qt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace preview {

// Rows of 8-bit samples as a decoder hands them out: R, G, B (and A when
// `alpha`), `stride` bytes from one row to the next.
struct InterleavedRows {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool alpha = false;  // straight (not premultiplied) alpha
};

struct ShrunkPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool alpha = false;  // as the rows
    // 0xAARRGGBB row by row, alpha premultiplied (0xFF for opaque pictures).
    std::vector<std::uint32_t> pixels;
};

// The picture reduced by the largest whole factor per side that keeps it at
// least minWidth x minHeight (never enlarged). A block at the right or bottom
// edge that the factor does not fill averages the pixels it has. Empty when
// the rows are empty or the minimum is 0.
ShrunkPicture ShrinkByWholeFactors(const InterleavedRows& rows, std::uint32_t minWidth,
                                   std::uint32_t minHeight);

}  // namespace preview
