#include "preview/jpeg_frame.h"

#include "reader/byte_view.h"

#include <algorithm>
#include <array>

namespace preview {
namespace {

constexpr int kSof0 = 0xC0, kSof15 = 0xCF, kDht = 0xC4, kJpg = 0xC8, kDac = 0xCC;
constexpr int kRst0 = 0xD0, kRst7 = 0xD7, kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kTem = 0x01;

bool IsFrame(int marker) {
    return marker >= kSof0 && marker <= kSof15 && marker != kDht && marker != kJpg && marker != kDac;
}

std::uint64_t DivideUp(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

}  // namespace

JpegFrame ReadJpegFrame(std::span<const std::uint8_t> head) {
    const reader::ByteView view(head, true);
    JpegFrame frame;
    if (view.u8(0) != 0xFF || view.u8(1) != 0xD8) return frame;
    bool frameSeen = false;
    std::array<int, 4> h{}, v{};
    std::size_t position = 2;
    for (;;) {
        // Bytes between segments are skipped, fill bytes too, as libjpeg does.
        while (position < head.size() && head[position] != 0xFF) ++position;
        while (position < head.size() && head[position] == 0xFF) ++position;
        if (position >= head.size()) return frame;
        const int marker = head[position++];
        if (marker == 0 || (marker >= kRst0 && marker <= kRst7) || marker == kTem) continue;
        if (marker == kSoi || marker == kEoi) return frame;  // no scan to come
        const std::uint16_t length = view.u16(position);
        if (!view.fits(position, std::max<std::uint16_t>(length, 2))) return frame;
        const reader::ByteView segment = view.sub(position + 2, std::max<std::uint16_t>(length, 2) - 2u);
        ++frame.segments;
        if (IsFrame(marker)) {
            const int count = segment.u8(5);
            if (frameSeen || count < 1 || count > 4 || segment.size() < 6u + 3u * count) return frame;
            frameSeen = true;
            // Progressive Huffman or arithmetic coding.
            frame.progressive = marker == 0xC2 || marker == 0xCA;
            frame.height = segment.u16(1);
            frame.width = segment.u16(3);
            frame.components = count;
            for (int i = 0; i < count; ++i) {
                h[i] = segment.u8(7 + 3 * i) >> 4;
                v[i] = segment.u8(7 + 3 * i) & 15;
                if (h[i] < 1 || h[i] > 4 || v[i] < 1 || v[i] > 4) return frame;
            }
        } else if (marker == kSos) {
            if (!frameSeen || segment.size() < 1) return frame;
            frame.firstScanComponents = segment.u8(0);
            frame.found = true;
            break;
        }
        position += std::max<std::uint16_t>(length, 2);
    }
    if (!frame.progressive && frame.firstScanComponents >= frame.components) return frame;
    const int hMax = *std::max_element(h.begin(), h.begin() + frame.components);
    const int vMax = *std::max_element(v.begin(), v.begin() + frame.components);
    for (int i = 0; i < frame.components; ++i) {
        const std::uint64_t blocksWide = DivideUp(std::uint64_t{frame.width} * h[i], 8u * hMax);
        const std::uint64_t blocksHigh = DivideUp(std::uint64_t{frame.height} * v[i], 8u * vMax);
        frame.keptCoefficientBytes += DivideUp(blocksWide, h[i]) * h[i] * DivideUp(blocksHigh, v[i]) * v[i] * 128;
    }
    return frame;
}

}  // namespace preview
