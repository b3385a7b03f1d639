// Feeds arbitrary bytes to the reading of a HEIF file's boxes for what
// decoding its images would cost (preview/heif_layout): besides the
// sanitizers, it checks that the count ends (derivations nested or looping)
// and that what an image made of images costs is never less than the
// coded images and planes it is made of.
#include "preview/heif_layout.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

void Check(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_heif_layout.cpp:%d: broken promise: %s\n", line, what);
    std::abort();
}
#define Require(condition) Check((condition), #condition, __LINE__)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    const preview::HeifLayout layout = preview::HeifLayout::Parse(file);
    std::vector<std::uint32_t> ids;
    if (const std::optional<std::uint32_t> primary = layout.Primary()) ids.push_back(*primary);
    for (std::uint32_t id = 0; id < 64; ++id) ids.push_back(id);
    for (const std::uint32_t id : ids) {
        const std::optional<preview::HeifImageCost> cost = layout.CostOf(id);
        if (!cost) continue;
        Require(cost->codedImages >= 1);
        const auto [width, height] = layout.SizeOf(id);
        // An image's own planes are part of what it costs (sums saturate).
        if (width != 0 && height != 0 && width < (1u << 20) && height < (1u << 20))
            Require(cost->planeBytes >= width * height * preview::HeifLayout::kPlaneBytesPerPixel);
    }
    return 0;
}
