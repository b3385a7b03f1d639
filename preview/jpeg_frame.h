// The frame of a JPEG file as libjpeg's full decoder reads it before the
// first scan, for what the decode will cost: a file in several scans
// (progressive, or one scan per component) has all its coefficients kept
// until the last scan, two bytes for every sample of the MCU-padded image.
// Plain C++ (no Qt).
#pragma once

#include <cstdint>
#include <span>

namespace preview {

struct JpegFrame {
    bool found = false;  // a frame header and the first scan's header were read
    bool progressive = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    int firstScanComponents = 0;
    // The full decoder's coefficient buffer: 128 bytes for each block of
    // each component (padded to whole MCUs), or 0 when it decodes the one
    // scan as it comes.
    std::uint64_t keptCoefficientBytes = 0;
    // Marker segments read before the first scan (or before the walk ended).
    std::uint64_t segments = 0;
};

// Reads the markers of `head` (the file or its first bytes) up to the first
// scan's header. Not found when the bytes end before it or are not such a
// JPEG.
JpegFrame ReadJpegFrame(std::span<const std::uint8_t> head);

}  // namespace preview
