#include "preview/jpeg_bit_reader.h"

#include "reader/jpeg_segments.h"

#include <algorithm>

namespace preview::jpegdecoder {

using reader::jpeg::kEoi;

Bits RefillSlow(Bits bits, std::span<const std::uint8_t> data) {
    while (bits.count <= 56) {
        if (bits.marker == 0 && bits.position < data.size()) {
            std::uint8_t byte = data[bits.position];
            if (byte != 0xFF) {
                ++bits.position;
            } else {
                std::size_t next = bits.position + 1;
                while (next < data.size() && data[next] == 0xFF) ++next;
                if (next < data.size() && data[next] == 0) {
                    bits.position = next + 1;  // a stuffed 0xFF
                } else {
                    bits.marker = next < data.size() ? int{data[next]} : int{kEoi};
                    bits.markerPosition = bits.position;
                    bits.markerEnd = std::min(next + 1, data.size());
                    continue;
                }
            }
            bits.buffer |= std::uint64_t{byte} << (56 - bits.count);
            bits.count += 8;
            continue;
        }
        if (bits.marker == 0) {
            // The data ends without a marker: as if an end-of-image followed.
            bits.marker = kEoi;
            bits.markerPosition = bits.markerEnd = data.size();
        }
        bits.count += 8;
        bits.pad += 8;
    }
    return bits;
}

}  // namespace preview::jpegdecoder
