// Feeds arbitrary bytes to the JPEG preview decoder. Besides the sanitizers it
// checks the decoder's promises: nothing or a whole preview of the promised
// size, opaque pixels, and buffers within the limit given.
#include "platform/jpeg_dc_preview.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_jpeg_preview.cpp:%d: broken promise: %s\n", line, what);
    std::abort();
}
#define Require(condition) Check((condition), #condition, __LINE__)

constexpr std::uint64_t kMaxBytes = 64ull << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using platform::JpegPreview;
    const JpegPreview preview = platform::DecodeJpegPreview({data, size}, kMaxBytes);
    if (preview.result == JpegPreview::Result::NotHandled) {
        Require(preview.pixels.empty());
        return 0;
    }
    Require(preview.imageWidth > 0 && preview.imageHeight > 0);
    Require(preview.width == (preview.imageWidth + 7) / 8);
    Require(preview.height == (preview.imageHeight + 7) / 8);
    Require(preview.pixels.size() == std::uint64_t{preview.width} * preview.height);
    Require(preview.pixels.size() * sizeof(std::uint32_t) <= kMaxBytes);
    for (std::uint32_t pixel : preview.pixels) Require((pixel >> 24) == 0xFF);
    return 0;
}
