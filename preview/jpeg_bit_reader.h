// The entropy-coded data of a scan as the JPEG preview decoder reads it: the
// bit reader, which stops at the marker that ends the data and then feeds
// zero bits, and the decoding of Huffman symbols, DC differences and AC
// coefficients from it. Internal to the decoder.
#pragma once

#include "preview/jpeg_huffman.h"
#include "preview/jpeg_transforms.h"
#include "reader/jpeg_segments.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace preview::jpegdecoder {

// The entropy-coded bits: a 64-bit buffer whose top `count` bits are the next
// ones. Past a marker or the end of the data it is fed zero bits, `pad` of
// which are in the buffer; the data ran out once count < pad.
struct Bits {
    std::uint64_t buffer = 0;
    int count = 0;
    int pad = 0;
    std::size_t position =
        0;           // next byte not yet in the buffer; the marker's, once one stops the data
    int marker = 0;  // the marker that stopped the data, or 0
    std::size_t markerPosition = 0;  // of its first 0xFF
    std::size_t markerEnd = 0;       // just past its code
    // Data bits put into the buffer since the reader began (stuffed bytes and
    // the padding after the data not counted): less `count`, where in the data
    // the reader stands, whatever depth the buffer was filled to.
    std::uint64_t loaded = 0;

    bool operator==(const Bits&) const = default;
};

inline std::uint64_t LoadBigEndian64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, 8);
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    return value;
}

// The top bit of each of the eight bytes that is 0xFF, and of a 0xFE just
// before one (the borrow runs up from the 0xFF): none when none is.
inline std::uint64_t FFBytes(std::uint64_t word) {
    return ((~word) - 0x0101010101010101ull) & word & 0x8080808080808080ull;
}

// Byte by byte, for stuffed bytes, markers and the end of the data. Out of
// line, as the fast path is the one worth inlining, but in sight: behind a
// call the compiler cannot see into, a progressive decode took 2.5% more
// instructions, reloading what the call might have changed.
[[gnu::noinline]] inline Bits RefillSlow(Bits bits, std::span<const std::uint8_t> data) {
    // To 56-63 bits, as the fast refill: at 64 a refill's shift by the
    // count would be undefined.
    while (bits.count <= 55) {
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
                    bits.marker = next < data.size() ? int{data[next]} : int{reader::jpeg::kEoi};
                    bits.markerPosition = bits.position;
                    bits.markerEnd = std::min(next + 1, data.size());
                    continue;
                }
            }
            bits.buffer |= std::uint64_t{byte} << (56 - bits.count);
            bits.count += 8;
            bits.loaded += 8;
            continue;
        }
        if (bits.marker == 0) {
            // The data ends without a marker: as if an end-of-image followed.
            bits.marker = reader::jpeg::kEoi;
            bits.markerPosition = bits.markerEnd = data.size();
        }
        bits.count += 8;
        bits.pad += 8;
    }
    return bits;
}

// Leaves at least 40 bits. The sequential loops refill at each step, without
// asking whether the count ran low (the branch a processor guesses worst): a
// step of 28 bits at most leaves the next lookup's 12. The progressive ones
// refill below 32 bits, and take at most 32 before they ask again.
inline void Refill(Bits& bits, std::span<const std::uint8_t> data) {
    if (bits.position + 8 <= data.size()) [[likely]] {
        std::uint64_t word = LoadBigEndian64(data.data() + bits.position);
        int take = (63 - bits.count) >> 3;
        if (const std::uint64_t ff = FFBytes(word)) [[unlikely]] {
            // Only the whole bytes before the first flagged one: past a
            // stuffed 0xFF the data moves up a byte.
            take = std::min(take, std::countl_zero(ff) >> 3);
            word &= (~std::uint64_t{0} << (63 - take * 8)) << 1;
        }
        if (bits.count + take * 8 >= 40) [[likely]] {
            // The bytes past the whole ones taken land below the count: they
            // are the very bits the next refill adds again.
            bits.buffer |= word >> bits.count;
            bits.position += static_cast<std::size_t>(take);
            bits.count += take * 8;
            bits.loaded += static_cast<std::uint64_t>(take) * 8;
            return;
        }
    }
    bits = RefillSlow(bits, data);
}

struct Symbol {
    int value;
    int length;  // of its code
};

// A symbol whose code is longer than the lookahead, from the top bits of the
// buffer. A code the table does not have counts 17 bits and gives symbol 0,
// as in the reference decoder.
inline Symbol SlowSymbol(const HuffmanTable& table, std::uint64_t buffer) {
    const std::uint32_t top = static_cast<std::uint32_t>(buffer >> 48);
    for (int length = kLookahead + 1; length <= 16; ++length) {
        const std::int32_t code = static_cast<std::int32_t>(top >> (16 - length));
        if (code <= table.maxCode[length])
            return {
                table.values[static_cast<std::uint32_t>(code + table.valueOffset[length]) & 0xFF],
                length};
    }
    return {0, 17};
}

// The AC coefficients of one block, decoded rather than skipped. Returns the
// positions written (bit n for natural position n). Always inlined: behind a
// call the reader would leave the registers for memory for the whole scan.
// Called right after the block's DC, which leaves the first lookup's bits.
[[gnu::always_inline]] inline std::uint64_t DecodeAc(const HuffmanTable& table, Bits& bits,
                                                     std::span<const std::uint8_t> data,
                                                     Coefficients& out) {
    std::uint64_t written = 0;
    for (int k = 1; k < 64; ++k) {
        // As in skipping: the lookup's bits are there before the refill.
        const std::uint64_t window = bits.buffer >> (64 - kLookahead);
        Refill(bits, data);
        if (const std::int32_t entry = table.coefficient[window]) {
            bits.buffer <<= entry & 63;
            bits.count -= entry & 63;
            if (entry & kEndOfBlock) break;
            k += (entry >> 6) & 15;
            out[kNaturalOrder[k]] = static_cast<std::int16_t>(entry >> 16);  // 0 after 15 zeros
            written |= std::uint64_t{1} << kNaturalOrder[k];
            continue;
        }
        const std::uint16_t found = table.fast[bits.buffer >> (64 - kLookahead)];
        const Symbol symbol =
            found ? Symbol{found >> 8, found & 0xFF} : SlowSymbol(table, bits.buffer);
        bits.buffer <<= symbol.length;
        bits.count -= symbol.length;
        const int run = symbol.value >> 4;
        const int size = symbol.value & 15;
        if (size) {
            k += run;
            const auto raw = static_cast<std::uint32_t>(bits.buffer >> (64 - size));
            bits.buffer <<= size;
            bits.count -= size;
            out[kNaturalOrder[k]] = static_cast<std::int16_t>(Extend(raw, size));
            written |= std::uint64_t{1} << kNaturalOrder[k];
        } else if (run == 15) {
            k += 15;
        } else {
            break;
        }
        // Up to 31 bits taken: the next lookup's may not be there.
        Refill(bits, data);
    }
    return written;
}

// The next Huffman symbol, its code taken from the buffer (which holds at
// least 17 bits).
inline Symbol NextSymbol(const HuffmanTable& table, Bits& bits) {
    const std::uint16_t found = table.fast[bits.buffer >> (64 - kLookahead)];
    const Symbol symbol = found ? Symbol{found >> 8, found & 0xFF} : SlowSymbol(table, bits.buffer);
    bits.buffer <<= symbol.length;
    bits.count -= symbol.length;
    return symbol;
}

// The next `size` bits (1 to 16), as a number.
inline std::uint32_t TakeBits(Bits& bits, int size) {
    const auto raw = static_cast<std::uint32_t>(bits.buffer >> (64 - size));
    bits.buffer <<= size;
    bits.count -= size;
    return raw;
}

// A block's DC difference. Leaves at least 12 bits in the buffer, for the
// lookup that follows without a refill before it.
inline std::int32_t DecodeDcDifference(const HuffmanTable& dc, Bits& bits,
                                       std::span<const std::uint8_t> data) {
    // 32 bits cover the longest code and its extra bits.
    Refill(bits, data);
    if (const std::int32_t entry = dc.difference[bits.buffer >> (64 - kLookahead)]) {
        bits.buffer <<= entry & 63;
        bits.count -= entry & 63;
        return entry >> 8;
    }
    // A long code, or a short one with many extra bits: up to 31 bits, after
    // which the next lookup's bits may not be there.
    const Symbol symbol = NextSymbol(dc, bits);
    const std::int32_t difference =
        symbol.value ? Extend(TakeBits(bits, symbol.value), symbol.value) : 0;
    Refill(bits, data);
    return difference;
}

}  // namespace preview::jpegdecoder
