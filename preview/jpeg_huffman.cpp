#include "preview/jpeg_huffman.h"

#include <algorithm>

namespace preview::jpegdecoder {

using reader::ByteView;

namespace {

// Coefficient positions an AC symbol moves on by; 64 ends the block.
int AcAdvance(int symbol) {
    const int run = symbol >> 4;
    if (symbol & 15) return run + 1;
    return run == 15 ? 16 : 64;
}

std::uint32_t SkipEntry(int bits, int advance, int beforeLast, int firstBits, int firstAdvance) {
    // The first symbol alone is needed only when there are more, so it is no
    // end of block and advances at most 16.
    if (beforeLast == 0) firstAdvance = 0;
    return static_cast<std::uint32_t>(bits | advance << 6 | beforeLast << SkipFields::kBeforeLast |
                                      firstBits << SkipFields::kFirstBits |
                                      firstAdvance << SkipFields::kFirstAdvance);
}

void BuildCoefficients(HuffmanTable& table) {
    constexpr std::uint32_t mask = (1u << kLookahead) - 1;
    table.coefficient.assign(mask + 1, 0);
    for (std::uint32_t window = 0; window <= mask; ++window) {
        const std::uint16_t found = table.fast[window];
        const int length = found & 0xFF;
        const int run = found >> 12;
        const int size = (found >> 8) & 15;
        if (!found || length + size > kLookahead) continue;
        std::int32_t entry = length + size;
        if (size) {
            const std::uint32_t raw = ((window << length) & mask) >> (kLookahead - size);
            entry |= run << 6 |
                     static_cast<std::int32_t>(static_cast<std::uint32_t>(Extend(raw, size)) << 16);
        } else {
            entry |= run == 15 ? 15 << 6 : kEndOfBlock;
        }
        table.coefficient[window] = entry;
    }
}

void BuildDifferences(HuffmanTable& table) {
    constexpr std::uint32_t mask = (1u << kLookahead) - 1;
    table.difference.assign(mask + 1, 0);
    for (std::uint32_t window = 0; window <= mask; ++window) {
        const std::uint16_t found = table.fast[window];
        const int length = found & 0xFF;
        const int size = found >> 8;
        if (!found || length + size > kLookahead) continue;
        const std::uint32_t raw = ((window << length) & mask) >> (kLookahead - size);
        const std::int32_t difference = size ? Extend(raw, size) : 0;
        table.difference[window] = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(difference) << 8 | (length + size));
    }
}

// Skipping is a chain of dependent lookups, so one lookup skips every symbol
// whose code lies within the lookahead.
void BuildSkips(HuffmanTable& table) {
    constexpr std::uint32_t mask = (1u << kLookahead) - 1;
    table.skip.assign(mask + 1, 0);
    for (std::uint32_t window = 0; window <= mask; ++window) {
        int used = 0, advance = 0, beforeLast = 0, count = 0, firstBits = 0, firstAdvance = 0;
        for (;;) {
            const std::uint16_t found = table.fast[(window << used) & mask];
            const int length = found & 0xFF;
            const int symbol = found >> 8;
            if (!found || used + length > kLookahead) break;
            // Skipping needs the number of extra bits, not their value, so
            // they may run past the lookahead (27 bits at most in all).
            const int size = symbol & 15;
            beforeLast = advance;
            used += length + size;
            advance += AcAdvance(symbol);
            if (++count == 1) {
                firstBits = used;
                firstAdvance = advance;
            }
            if (advance >= 64 || used >= kLookahead) break;
        }
        if (count > 0)
            table.skip[window] = SkipEntry(used, advance, beforeLast, firstBits, firstAdvance);
    }
}

}  // namespace

// Builds the canonical code from the code-length counts. False for a table
// that over-fills its code space (or uses an all-ones code), or a DC table
// with a size category above 15.
bool BuildTable(HuffmanTable& table, const std::uint8_t (&counts)[17], ByteView symbols, bool dc) {
    std::array<std::uint8_t, 256> lengths{};
    std::array<std::uint16_t, 256> codes{};
    int total = 0;
    std::uint32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < counts[length]; ++i) {
            if (total >= 256) return false;
            lengths[total] = static_cast<std::uint8_t>(length);
            codes[total] = static_cast<std::uint16_t>(code);
            ++total;
            ++code;
        }
        if (code >= (1u << length)) return false;
        code <<= 1;
    }
    for (int i = 0; i < total; ++i) {
        table.values[i] = symbols.u8(i);
        if (dc && table.values[i] > 15) return false;
    }
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        if (counts[length] == 0) {
            table.maxCode[length] = -1;
            continue;
        }
        table.valueOffset[length] = index - codes[index];
        index += counts[length];
        table.maxCode[length] = codes[index - 1];
    }
    table.maxCode[17] = 0xFFFFF;

    for (int i = 0; i < total && lengths[i] <= kLookahead; ++i) {
        const int length = lengths[i];
        const auto entry = static_cast<std::uint16_t>((table.values[i] << 8) | length);
        const int first = codes[i] << (kLookahead - length);
        std::fill_n(table.fast.begin() + first, 1 << (kLookahead - length), entry);
    }
    if (dc) {
        BuildDifferences(table);
    } else {
        BuildSkips(table);
        BuildCoefficients(table);
    }
    return true;
}

}  // namespace preview::jpegdecoder
