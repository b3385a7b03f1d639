#include "preview/jpeg_frame.h"

#include "reader/byte_view.h"
#include "reader/jpeg_segments.h"

#include <algorithm>
#include <array>
#include <optional>

namespace preview {
namespace {

std::uint64_t DivideUp(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

}  // namespace

JpegFrame ReadJpegFrame(std::span<const std::uint8_t> head) {
    const reader::ByteView view(head, true);
    JpegFrame frame;
    if (view.u8(0) != 0xFF || view.u8(1) != reader::jpeg::kSoi) return frame;
    bool frameSeen = false;
    std::array<int, 4> h{}, v{};
    // Bytes between segments are skipped, fill bytes too, as libjpeg does.
    reader::MemoryWindow window(head);
    reader::JpegSegmentWalk walk(window, 0, head.size(), {.skipStrayBytes = true});
    for (;;) {
        const std::optional<reader::JpegSegment> found = walk.next();
        // No scan to come past a segment cut short, nor after SOI or EOI.
        if (!found || !found->complete) return frame;
        const int marker = found->marker;
        if (marker == reader::jpeg::kSoi || marker == reader::jpeg::kEoi) return frame;
        const reader::ByteView segment = view.sub(found->payload, found->payloadLength());
        ++frame.segments;
        if (reader::jpeg::IsFrame(marker)) {
            const int count = segment.u8(5);
            if (frameSeen || count < 1 || count > 4 || segment.size() < 6u + 3u * count)
                return frame;
            frameSeen = true;
            // Progressive Huffman or arithmetic coding.
            frame.progressive = marker == reader::jpeg::kSof2 || marker == reader::jpeg::kSof10;
            frame.height = segment.u16(1);
            frame.width = segment.u16(3);
            frame.components = count;
            for (int i = 0; i < count; ++i) {
                h[i] = segment.u8(7 + 3 * i) >> 4;
                v[i] = segment.u8(7 + 3 * i) & 15;
                if (h[i] < 1 || h[i] > 4 || v[i] < 1 || v[i] > 4) return frame;
            }
        } else if (marker == reader::jpeg::kSos) {
            if (!frameSeen || segment.size() < 1) return frame;
            frame.firstScanComponents = segment.u8(0);
            frame.found = true;
            break;
        }
    }
    if (!frame.progressive && frame.firstScanComponents >= frame.components) return frame;
    const int hMax = *std::max_element(h.begin(), h.begin() + frame.components);
    const int vMax = *std::max_element(v.begin(), v.begin() + frame.components);
    for (int i = 0; i < frame.components; ++i) {
        const std::uint64_t blocksWide = DivideUp(std::uint64_t{frame.width} * h[i], 8u * hMax);
        const std::uint64_t blocksHigh = DivideUp(std::uint64_t{frame.height} * v[i], 8u * vMax);
        frame.keptCoefficientBytes +=
            DivideUp(blocksWide, h[i]) * h[i] * DivideUp(blocksHigh, v[i]) * v[i] * 128;
    }
    return frame;
}

}  // namespace preview
