// The item property associations of an ISO base media file (HEIF, AVIF):
// one walk of an ipma box that the reader's container scan and the preview's
// cost reckoning share.
#pragma once

#include "reader/byte_view.h"

#include <cstdint>
#include <optional>

namespace reader {

// Calls `visit(item, index)` for each property association in the payload of
// an ipma box, the index counted from 1 with its essential bit dropped, as far
// as the box's bytes go. With `lastItem`, the walk ends after that item's
// first entry.
template <class Visit>
void ForEachPropertyAssociation(const ByteView& ipma, Visit visit,
                                std::optional<std::uint32_t> lastItem = std::nullopt) {
    const std::uint8_t version = ipma.u8(0);
    const bool wideIndex = (ipma.u32(0) & 1u) != 0;
    const std::uint64_t count = ipma.u32(4);
    std::uint64_t at = 8;
    // Each entry takes at least three bytes, so the loop ends with the box.
    for (std::uint64_t i = 0; i < count && ipma.ok() && at < ipma.size(); ++i) {
        const std::uint32_t item = version < 1 ? ipma.u16(at) : ipma.u32(at);
        at += version < 1 ? 2 : 4;
        const std::uint32_t associations = ipma.u8(at++);
        for (std::uint32_t k = 0; k < associations && ipma.ok(); ++k) {
            const std::uint32_t index = wideIndex ? ipma.u16(at) & 0x7FFFu : ipma.u8(at) & 0x7Fu;
            at += wideIndex ? 2 : 1;
            if (ipma.ok()) visit(item, index);
        }
        if (item == lastItem) return;
    }
}

}  // namespace reader
