// A fast preview of a photo stored as a Huffman-coded JPEG: at an eighth of
// the size per side a JPEG pixel is its 8 x 8 block's DC coefficient, so the
// AC coefficients are only skipped, never dequantised or transformed. Only a
// component sampled at half or a quarter of the others' rate both ways (the
// chroma of 4:2:0) has its AC decoded, for the small inverse transform libjpeg
// takes it from at this scale. The pixels are libjpeg's eighth-size decode,
// exactly. Plain C++ (no Qt).
//
// Handled: baseline, extended sequential and progressive Huffman frames, 8-bit
// samples, one component (grey) or three (YCbCr, or RGB when the markers say
// so), any whole-number sampling ratios, restart intervals, one scan or one
// per component, sequential files without Huffman tables (the standard ones
// apply). A progressive file is drawn from its DC scans, with successive
// approximation; its AC scans are passed over by their markers, but for the
// components whose AC the small transforms read, and only one DC value per
// block (or those AC coefficients) is kept until the last scan. Anything else
// (arithmetic, lossless, 12-bit, CMYK, a sequential component coded in two
// scans, a progressive file that leaves any of the first nine AC coefficients
// short of their last bit, which libjpeg then smooths, odd tables or markers)
// is left to the full decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace preview {

// Leaves the elements a vector adds uninitialised: the decoder writes every
// pixel, and filling megabytes with zeros first, on one thread, took longer
// than writing them.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    explicit UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        std::construct_at(at, std::forward<Args>(args)...);
    }
};

struct JpegPreview {
    enum class Result {
        NotHandled,  // not such a JPEG, or nothing could be decoded from it
        Complete,
        // The entropy data ended early or was broken: what was not reached is
        // as the full decoder leaves it (blocks not reached are mid-grey).
        Partial,
    };
    Result result = Result::NotHandled;
    std::uint32_t imageWidth = 0;  // the frame's size in pixels
    std::uint32_t imageHeight = 0;
    std::uint32_t width = 0;   // ceil(imageWidth / 8)
    std::uint32_t height = 0;  // ceil(imageHeight / 8)
    bool grey = false;         // one component: red, green and blue are equal
    int threads = 1;           // that decoded a scan's entropy data
    // 0xFFRRGGBB, row by row, width x height.
    std::vector<std::uint32_t, UninitialisedAllocator<std::uint32_t>> pixels;
};

// A sequential scan of at least this many MCUs is decoded by two threads:
// the second from the restart marker past the middle of its data, or, in a
// scan without restart markers, from a guessed byte there, its MCUs taken
// from where they start at the same bit as the first thread's; there the
// thread done first with its part splits what is left of the other's. From
// 16 times as many MCUs in the frame the pixels are composed by two threads
// too. The pixels are the same as one thread's.
inline constexpr std::uint64_t kParallelFromMcus = 4096;

// Decodes `file` (the whole JPEG file) at an eighth of its size per side.
// Refuses (NotHandled) a frame whose buffers (a byte per block, the
// coefficients a progressive frame keeps, and the pixels) would take more
// than `maxBytes`, or that has more blocks than the file's size could code:
// time and memory stay proportional to the file's size.
JpegPreview DecodeJpegPreview(std::span<const std::uint8_t> file, std::uint64_t maxBytes,
                              std::uint64_t parallelFromMcus = kParallelFromMcus);

}  // namespace preview
