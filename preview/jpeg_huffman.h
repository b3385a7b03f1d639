// Huffman tables of the JPEG preview decoder: the canonical code built from
// a DHT segment (or a standard table), with tables over the next kLookahead
// bits that decode a symbol, a DC difference or an AC coefficient, or skip AC
// symbols, at one lookup each. Internal to the decoder.
#pragma once

#include "reader/byte_view.h"

#include <array>
#include <cstdint>
#include <vector>

namespace preview::jpegdecoder {

// Huffman codes up to this length are decoded with one table lookup.
inline constexpr int kLookahead = 12;

struct HuffmanTable {
    // False for a table no scan can use (see BuildTable).
    bool usable = false;
    // All by the next kLookahead bits.
    // (symbol << 8) | code length; 0 when the code is longer.
    std::array<std::uint16_t, 1 << kLookahead> fast{};
    // DC tables only: (difference << 8) | bits, when the code and its extra
    // bits both lie within the lookahead; 0 otherwise.
    std::vector<std::int32_t> difference;
    // AC tables only: (value << 16) | (run << 6) | bits for a symbol whose code
    // and extra bits lie within the lookahead, with kEndOfBlock for the end
    // of block; 0 otherwise.
    std::vector<std::int32_t> coefficient;
    // AC tables only: what skipping the symbols whose codes these bits hold
    // amounts to, as SkipEntry packs it; 0 when the first code is longer.
    std::vector<std::uint32_t> skip;
    std::array<std::int32_t, 18> maxCode{};  // by code length; -1 when none
    std::array<std::int32_t, 17> valueOffset{};
    std::array<std::uint8_t, 256> values{};
};

// A skip entry: all the symbols it holds (bits, coefficients advanced, and
// coefficients advanced before the last of them), and the first alone, for
// when the last symbols would run past the block's end. The bits come lowest,
// in six bits, so that a shift by the entry itself skips them.
struct SkipFields {
    static constexpr int kBeforeLast = 13, kFirstBits = 20, kFirstAdvance = 26;
    static std::uint32_t Bits(std::uint32_t entry) { return entry & 63; }
    static std::uint32_t Advance(std::uint32_t entry) { return (entry >> 6) & 127; }
    static std::uint32_t BeforeLast(std::uint32_t entry) { return (entry >> kBeforeLast) & 127; }
    static std::uint32_t FirstBits(std::uint32_t entry) { return (entry >> kFirstBits) & 63; }
    static std::uint32_t FirstAdvance(std::uint32_t entry) { return entry >> kFirstAdvance; }
};

// The signed value of `size` extra bits.
inline std::int32_t Extend(std::uint32_t raw, int size) {
    return raw < (1u << (size - 1)) ? static_cast<std::int32_t>(raw) - (1 << size) + 1
                                    : static_cast<std::int32_t>(raw);
}

// Marks the end of block in the AC coefficient entries.
inline constexpr std::int32_t kEndOfBlock = 1 << 12;

// Builds the canonical code from the code-length counts. False for a table
// that over-fills its code space (or uses an all-ones code), or a DC table
// with a size category above 15.
bool BuildTable(HuffmanTable& table, const std::uint8_t (&counts)[17], reader::ByteView symbols,
                bool dc);

}  // namespace preview::jpegdecoder
