#include "reader/iptc_records.h"

namespace reader {

std::vector<std::uint8_t> IptcOfPhotoshopResources(const ByteView& resources) {
    constexpr std::uint16_t kIptcResource = 0x0404;
    // Each resource takes at least 12 bytes, so the walk ends with the bytes.
    for (std::uint64_t pos = 0;
         resources.fits(pos, 12) && resources.sub(pos, 4).startsWith("8BIM");) {
        const std::uint16_t id = resources.u16(pos + 4);
        // A Pascal name padded to an even length with its length byte.
        const std::uint64_t nameLength = resources.u8(pos + 6);
        const std::uint64_t sizeAt = pos + 6 + ((nameLength + 2) & ~std::uint64_t{1});
        if (!resources.fits(sizeAt, 4)) break;
        const std::uint64_t size = resources.u32(sizeAt);
        const std::uint64_t data = sizeAt + 4;
        if (!resources.fits(data, size)) break;
        if (id == kIptcResource) {
            const ByteView iptc = resources.sub(data, size);
            return {iptc.bytes().begin(), iptc.bytes().end()};
        }
        pos = data + size + (size & 1u);
    }
    return {};
}

}  // namespace reader
