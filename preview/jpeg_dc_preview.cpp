#include "preview/jpeg_dc_preview.h"

#include "preview/jpeg_standard_tables.h"
#include "reader/byte_view.h"
#include "reader/jpeg_segments.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>

namespace preview {

using reader::ByteView;
namespace {

using namespace reader::jpeg;

constexpr int kMaxComponents = 3;
constexpr int kMaxTables = 4;
// At most this many blocks in one interleaved MCU.
constexpr int kMaxBlocksInMcu = 10;
// Every coded block spends at least two bits (a DC code and an end-of-block
// or run code), four blocks per byte; twice that leaves room for files cut
// short. A frame claiming more blocks than this describes data the file
// cannot hold. A progressive frame spends at least one bit on each block's
// first DC code, so twice that.
constexpr std::uint64_t kBlocksPerByte = 8;
constexpr std::uint64_t kProgressiveBlocksPerByte = 16;
constexpr std::uint64_t kBlocksAlways = 4096;

// Huffman codes up to this length are decoded with one table lookup.
constexpr int kLookahead = 12;

// The 1 x 1 inverse transform's output: the DC value descaled, centred on 128
// and limited the way the reference decoder limits it (values far outside
// 0..255 wrap through its 1024-entry table rather than clamp).
struct RangeLimit {
    std::array<std::uint8_t, 1024> table{};
    constexpr RangeLimit() {
        for (int i = 0; i < 1024; ++i) {
            if (i < 128) table[i] = static_cast<std::uint8_t>(i + 128);
            else if (i < 512) table[i] = 255;
            else if (i < 896) table[i] = 0;
            else table[i] = static_cast<std::uint8_t>(i - 896);
        }
    }
};
constexpr RangeLimit kRangeLimit;

std::uint8_t Limit(std::int64_t value) {
    return kRangeLimit.table[static_cast<std::uint64_t>(value) & 1023];
}

// Coefficients and quantisation steps are 16-bit in the reference decoder, so
// wild values wrap as they do there.
std::int32_t Dequantise(std::int32_t coefficient, std::uint16_t quant) {
    return static_cast<std::int16_t>(coefficient) * static_cast<std::int32_t>(static_cast<std::int16_t>(quant));
}

std::uint8_t DcSample(std::uint32_t prediction, std::uint16_t quant) {
    return Limit((std::int64_t{Dequantise(static_cast<std::int32_t>(prediction & 0xFFFF), quant)} + 4) >> 3);
}

using Coefficients = std::array<std::int16_t, 64>;
using QuantTable = std::array<std::uint16_t, 64>;  // in natural order

// Zigzag position to natural order; runs past the end land on the last.
constexpr std::array<std::uint8_t, 80> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// The AC positions a transform reads: rows and columns 0, 1, 3, 5, 7 (2 x 2)
// or all but 4 (4 x 4).
constexpr std::uint64_t TransformReads(std::initializer_list<int> lines) {
    std::uint64_t mask = 0;
    for (int row : lines)
        for (int column : lines) mask |= std::uint64_t{1} << (row * 8 + column);
    return mask & ~std::uint64_t{1};
}
constexpr std::uint64_t kReads2x2 = TransformReads({0, 1, 3, 5, 7});
constexpr std::uint64_t kReads4x4 = TransformReads({0, 1, 2, 3, 5, 6, 7});

// Where a progressive block's coefficients are kept until the last scan: the
// DC alone, or the DC and the positions a transform reads. -1: not kept.
struct Slots {
    std::array<std::int8_t, 64> of{};
    std::array<std::uint8_t, 64> position{};  // of each slot
    int count = 0;
    constexpr explicit Slots(std::uint64_t reads) {
        for (int p = 0; p < 64; ++p) {
            const bool kept = p == 0 || ((reads >> p) & 1);
            if (kept) position[count] = static_cast<std::uint8_t>(p);
            of[p] = static_cast<std::int8_t>(kept ? count++ : -1);
        }
    }
};
constexpr Slots kSlotsDc(0);
constexpr Slots kSlots2x2(kReads2x2);
constexpr Slots kSlots4x4(kReads4x4);

// The reference decoder's 2 x 2 inverse transform (it reads rows and columns
// 0, 1, 3, 5 and 7), in the same fixed point, for the components it decodes
// at twice the DC's resolution at an eighth (the chroma of 4:2:0).
void Transform2x2(const Coefficients& in, const QuantTable& quant, std::uint8_t* out, std::size_t stride) {
    constexpr std::int64_t c1 = 29692, c3 = -10426, c5 = 6967, c7 = -5906;  // 13-bit fractions
    constexpr int kOdd[4] = {1, 3, 5, 7};
    constexpr std::int64_t kWeight[4] = {c1, c3, c5, c7};
    std::int32_t work[2][8] = {};
    for (int column : {0, 1, 3, 5, 7}) {
        const auto dequantised = [&](int row) {
            return std::int64_t{Dequantise(in[row * 8 + column], quant[row * 8 + column])};
        };
        const std::int64_t even = dequantised(0) * (1 << 15);
        std::int64_t odd = 0;
        for (int i = 0; i < 4; ++i) odd += dequantised(kOdd[i]) * kWeight[i];
        work[0][column] = static_cast<std::int32_t>((even + odd + (1 << 12)) >> 13);
        work[1][column] = static_cast<std::int32_t>((even - odd + (1 << 12)) >> 13);
    }
    for (int row = 0; row < 2; ++row) {
        const std::int64_t even = std::int64_t{work[row][0]} * (1 << 15);
        std::int64_t odd = 0;
        for (int i = 0; i < 4; ++i) odd += std::int64_t{work[row][kOdd[i]]} * kWeight[i];
        out[row * stride] = Limit((even + odd + (1 << 19)) >> 20);
        out[row * stride + 1] = Limit((even - odd + (1 << 19)) >> 20);
    }
}

// Its 4 x 4 transform (all rows and columns but 4), for a component sampled
// at a quarter of the others' rate both ways.
void Transform4x4(const Coefficients& in, const QuantTable& quant, std::uint8_t* out, std::size_t stride) {
    // 13-bit fractions: the even part's c2 and c6, the odd part's weights of
    // inputs 7, 5, 3 and 1 for outputs 1/2 (first) and 0/3 (second).
    constexpr std::int64_t c2 = 15137, c6 = -6270;
    constexpr int kOdd[4] = {7, 5, 3, 1};
    constexpr std::int64_t kFirst[4] = {-1730, 11893, -17799, 8697};
    constexpr std::int64_t kSecond[4] = {-4176, -4926, 7373, 20995};
    // One 4-point pass over v[0..7]; `shift` descales its outputs.
    const auto pass = [&](const auto& v, int shift, auto store) {
        const std::int64_t base = v(0) * (1 << 14);
        const std::int64_t turn = v(2) * c2 + v(6) * c6;
        const std::int64_t even0 = base + turn, even1 = base - turn;
        std::int64_t first = 0, second = 0;
        for (int i = 0; i < 4; ++i) {
            first += v(kOdd[i]) * kFirst[i];
            second += v(kOdd[i]) * kSecond[i];
        }
        const std::int64_t half = std::int64_t{1} << (shift - 1);
        store(0, (even0 + second + half) >> shift);
        store(3, (even0 - second + half) >> shift);
        store(1, (even1 + first + half) >> shift);
        store(2, (even1 - first + half) >> shift);
    };
    std::int32_t work[4][8] = {};
    for (int column : {0, 1, 2, 3, 5, 6, 7}) {
        pass([&](int row) { return std::int64_t{Dequantise(in[row * 8 + column], quant[row * 8 + column])}; }, 12,
             [&](int row, std::int64_t value) { work[row][column] = static_cast<std::int32_t>(value); });
    }
    for (int row = 0; row < 4; ++row) {
        pass([&](int column) { return std::int64_t{work[row][column]}; }, 19,
             [&](int column, std::int64_t value) { out[row * stride + column] = Limit(value); });
    }
}

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

// Coefficient positions an AC symbol moves on by; 64 ends the block.
int AcAdvance(int symbol) {
    const int run = symbol >> 4;
    if (symbol & 15) return run + 1;
    return run == 15 ? 16 : 64;
}

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

std::uint32_t SkipEntry(int bits, int advance, int beforeLast, int firstBits, int firstAdvance) {
    // The first symbol alone is needed only when there are more, so it is no
    // end of block and advances at most 16.
    if (beforeLast == 0) firstAdvance = 0;
    return static_cast<std::uint32_t>(bits | advance << 6 | beforeLast << SkipFields::kBeforeLast |
                                      firstBits << SkipFields::kFirstBits |
                                      firstAdvance << SkipFields::kFirstAdvance);
}

// The signed value of `size` extra bits.
std::int32_t Extend(std::uint32_t raw, int size) {
    return raw < (1u << (size - 1)) ? static_cast<std::int32_t>(raw) - (1 << size) + 1
                                    : static_cast<std::int32_t>(raw);
}

constexpr std::int32_t kEndOfBlock = 1 << 12;

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
            entry |= run << 6 | static_cast<std::int32_t>(static_cast<std::uint32_t>(Extend(raw, size)) << 16);
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
        table.difference[window] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(difference) << 8 | (length + size));
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
        if (count > 0) table.skip[window] = SkipEntry(used, advance, beforeLast, firstBits, firstAdvance);
    }
}

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

// The entropy-coded bits: a 64-bit buffer whose top `count` bits are the next
// ones. Past a marker or the end of the data it is fed zero bits, `pad` of
// which are in the buffer; the data ran out once count < pad.
struct Bits {
    std::uint64_t buffer = 0;
    int count = 0;
    int pad = 0;
    std::size_t position = 0;  // next byte not yet in the buffer; the marker's, once one stops the data
    int marker = 0;            // the marker that stopped the data, or 0
    std::size_t markerPosition = 0;  // of its first 0xFF
    std::size_t markerEnd = 0;       // just past its code
};

std::uint64_t LoadBigEndian64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, 8);
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    return value;
}

// Whether any of the eight bytes is 0xFF.
bool HasFF(std::uint64_t word) {
    return (((~word) - 0x0101010101010101ull) & word & 0x8080808080808080ull) != 0;
}

// Byte by byte, for stuffed bytes, markers and the end of the data.
[[gnu::noinline]] Bits RefillSlow(Bits bits, std::span<const std::uint8_t> data) {
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

inline void Refill(Bits& bits, std::span<const std::uint8_t> data) {
    if (bits.position + 8 <= data.size()) {
        const std::uint64_t word = LoadBigEndian64(data.data() + bits.position);
        if (!HasFF(word)) {
            // The bytes past the whole ones taken land below the count: they
            // are the very bits the next refill adds again.
            bits.buffer |= word >> bits.count;
            const int take = (63 - bits.count) >> 3;
            bits.position += static_cast<std::size_t>(take);
            bits.count += take * 8;
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
Symbol SlowSymbol(const HuffmanTable& table, std::uint64_t buffer) {
    const std::uint32_t top = static_cast<std::uint32_t>(buffer >> 48);
    for (int length = kLookahead + 1; length <= 16; ++length) {
        const std::int32_t code = static_cast<std::int32_t>(top >> (16 - length));
        if (code <= table.maxCode[length])
            return {table.values[static_cast<std::uint32_t>(code + table.valueOffset[length]) & 0xFF], length};
    }
    return {0, 17};
}


// The AC coefficients of one block, decoded rather than skipped. Returns the
// positions written (bit n for natural position n).
std::uint64_t DecodeAc(const HuffmanTable& table, Bits& bits, std::span<const std::uint8_t> data,
                       Coefficients& out) {
    std::uint64_t written = 0;
    for (int k = 1; k < 64; ++k) {
        if (bits.count < 32) Refill(bits, data);
        if (const std::int32_t entry = table.coefficient[bits.buffer >> (64 - kLookahead)]) {
            bits.buffer <<= entry & 63;
            bits.count -= entry & 63;
            if (entry & kEndOfBlock) break;
            k += (entry >> 6) & 15;
            out[kNaturalOrder[k]] = static_cast<std::int16_t>(entry >> 16);  // 0 after 15 zeros
            written |= std::uint64_t{1} << kNaturalOrder[k];
            continue;
        }
        const std::uint16_t found = table.fast[bits.buffer >> (64 - kLookahead)];
        const Symbol symbol = found ? Symbol{found >> 8, found & 0xFF} : SlowSymbol(table, bits.buffer);
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

inline std::int32_t DecodeDcDifference(const HuffmanTable& dc, Bits& bits, std::span<const std::uint8_t> data) {
    // 32 bits cover the longest code and its extra bits.
    if (bits.count < 32) Refill(bits, data);
    if (const std::int32_t entry = dc.difference[bits.buffer >> (64 - kLookahead)]) {
        bits.buffer <<= entry & 63;
        bits.count -= entry & 63;
        return entry >> 8;
    }
    // A long code, or a short one with many extra bits.
    const Symbol symbol = NextSymbol(dc, bits);
    return symbol.value ? Extend(TakeBits(bits, symbol.value), symbol.value) : 0;
}

// The coefficients a progressive block keeps until the last scan, and which
// of all its 64 are not zero: a refinement scan adds a bit to each of those,
// kept or not. Coefficients are 16-bit, as in the reference decoder.
struct KeptBlock {
    std::int16_t* kept;
    std::uint64_t* nonzero;
    const Slots* slots;

    bool isNonzero(int position) const { return (*nonzero >> position) & 1; }
    void set(int position, std::int32_t value) {
        const auto coefficient = static_cast<std::int16_t>(value);
        const std::uint64_t bit = std::uint64_t{1} << position;
        *nonzero = coefficient ? *nonzero | bit : *nonzero & ~bit;
        if (const int slot = slots->of[position]; slot >= 0) kept[slot] = coefficient;
    }
    // A correction bit of 1: away from zero by `step`, unless done already.
    // A coefficient that is not zero never becomes zero this way.
    void correct(int position, std::int32_t step) {
        const int slot = slots->of[position];
        if (slot < 0 || (kept[slot] & step)) return;
        kept[slot] = static_cast<std::int16_t>(kept[slot] + (kept[slot] >= 0 ? step : -step));
    }
};

// One block of a first AC scan of the band first..last, values scaled by
// 2^shift, as the reference decoder reads it: a run of blocks with nothing
// in the band (`emptyBlocks`) counts down first. A run of zeros may carry the
// position past the band's end, and the value lands there.
void DecodeAcFirst(const HuffmanTable& table, Bits& bits, std::span<const std::uint8_t> data, int first, int last,
                   int shift, KeptBlock block, std::uint32_t& emptyBlocks) {
    if (emptyBlocks > 0) {
        --emptyBlocks;
        return;
    }
    for (int k = first; k <= last; ++k) {
        if (bits.count < 32) Refill(bits, data);
        const Symbol symbol = NextSymbol(table, bits);
        const int run = symbol.value >> 4;
        const int size = symbol.value & 15;
        if (size) {
            k += run;
            const std::int32_t value = Extend(TakeBits(bits, size), size);
            block.set(kNaturalOrder[k], static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift));
        } else if (run == 15) {
            k += 15;
        } else {
            emptyBlocks = (1u << run) + (run ? TakeBits(bits, run) : 0) - 1;
            break;
        }
    }
}

// One block of an AC refinement scan: the bit `step` of every coefficient in
// the band. New coefficients (of +-step) come with runs of zeros to skip, and
// each coefficient that is already not zero on the way takes one correction
// bit; a new coefficient whose run ends past the band lands just after it.
void DecodeAcRefine(const HuffmanTable& table, Bits& bits, std::span<const std::uint8_t> data, int first, int last,
                    std::int32_t step, KeptBlock block, std::uint32_t& emptyBlocks) {
    const auto correct = [&](int position) {
        if (bits.count < 32) Refill(bits, data);
        if (TakeBits(bits, 1)) block.correct(position, step);
    };
    int k = first;
    if (emptyBlocks == 0) {
        for (; k <= last; ++k) {
            if (bits.count < 32) Refill(bits, data);
            const Symbol symbol = NextSymbol(table, bits);
            int run = symbol.value >> 4;
            std::int32_t value = 0;
            if (symbol.value & 15) {
                // Only the sign is coded, whatever size the symbol claims.
                value = TakeBits(bits, 1) ? step : -step;
            } else if (run != 15) {
                emptyBlocks = (1u << run) + (run ? TakeBits(bits, run) : 0);
                break;
            }
            do {
                const int position = kNaturalOrder[k];
                if (block.isNonzero(position)) correct(position);
                else if (--run < 0) break;
                ++k;
            } while (k <= last);
            if (value) block.set(kNaturalOrder[k], value);
        }
    }
    if (emptyBlocks > 0) {
        for (; k <= last; ++k)
            if (block.isNonzero(kNaturalOrder[k])) correct(kNaturalOrder[k]);
        --emptyBlocks;
    }
}

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int quantTable = 0;
    std::optional<QuantTable> quant;  // taken when the first scan starts
    // Samples per block side: 1 (the DC), or 2 or 4 where the reference
    // decoder takes more from a larger inverse transform.
    int scale = 1;
    std::uint32_t blocksWide = 0, blocksHigh = 0;    // that the component's own scan codes
    std::uint32_t planeWidth = 0, planeHeight = 0;   // samples, MCU-padded
    std::uint32_t samplesWide = 0, samplesHigh = 0;  // of them, the ones inside the image
    std::vector<std::uint8_t> plane;
    bool scanned = false;

    // Progressive frames: the coefficients kept for each block of the
    // MCU-padded grid, until the last scan has added to them.
    const Slots* slots = &kSlotsDc;
    std::uint32_t blocksPerRow = 0;
    std::vector<std::int16_t> coefficients;  // slots->count a block
    std::vector<std::uint64_t> nonzero;      // a block; only where the AC is decoded
    // The reference decoder's progression state for the first ten
    // coefficients: the last scan's low bit, -1 before any scan.
    std::array<int, 10> lowBit{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// A component as one scan codes it.
struct ScanComponent {
    Component* component = nullptr;
    const HuffmanTable* dc = nullptr;
    const HuffmanTable* ac = nullptr;
};

// One block of an MCU: its component and where it lies in the MCU.
struct McuBlock {
    int scanIndex = 0;
    std::uint32_t offset = 0;  // from the MCU's corner in the component's plane
};

std::uint32_t DivideUp(std::uint64_t a, std::uint64_t b) {
    return static_cast<std::uint32_t>((a + b - 1) / b);
}

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> file, std::uint64_t maxBytes)
        : file_(file), view_(file, true), maxBytes_(maxBytes) {}

    JpegPreview run();

private:
    bool readFrame(ByteView segment, bool progressive);
    bool readTables(ByteView segment);
    // The table a scan names; in a sequential frame the standard one for 0
    // and 1 when the file defines none, as in the reference decoder.
    const HuffmanTable* table(int tableClass, int index);
    bool readQuantTables(ByteView segment);
    void readApp(int marker, ByteView segment);
    // Returns false when the scan is not one this decoder handles; otherwise
    // `position` is where the marker search goes on.
    bool readScan(ByteView header, std::size_t& position);
    bool readProgressiveScan(ByteView header, std::span<ScanComponent> scan, std::size_t& position);
    void decodeScan(std::span<const ScanComponent> scan, std::size_t& position);
    void decodeDcScan(std::span<const ScanComponent> scan, int low, bool refine, std::size_t& position);
    void decodeAcScan(const ScanComponent& scan, int first, int last, int low, bool refine, std::size_t& position);
    void skipScan(std::uint64_t mcus, std::size_t& position);
    // Runs `decodeMcu(mcuX, mcuY)` over a scan's MCUs interval by interval,
    // as the reference decoder does: once an interval's data has run out the
    // rest of it is left alone, and restart markers are resynchronised on;
    // `restarted()` follows each restart.
    template <class DecodeMcu, class Restarted>
    void walkScan(std::uint32_t mcusX, std::uint32_t mcusY, Bits& bits, DecodeMcu decodeMcu, Restarted restarted);
    // Handles the restart marker due; false when none can follow in this scan.
    bool restart(Bits& bits, bool& starved);
    // Progressive frames: the kept coefficients through the inverse
    // transforms into the planes.
    void transformCoefficients();
    void compose(JpegPreview& out) const;

    // The next marker's code (0 at the end of the file), with `position`
    // moved just past it.
    int nextMarker(std::size_t& position) const;
    // The same for the bit reader: the marker where the data stops.
    void findMarker(Bits& bits, std::size_t from) const;

    std::span<const std::uint8_t> file_;
    ByteView view_;
    std::uint64_t maxBytes_;

    // Those a DHT defined, or the standard ones once a scan needed them.
    std::array<std::unique_ptr<HuffmanTable>, kMaxTables> dcTables_;
    std::array<std::unique_ptr<HuffmanTable>, kMaxTables> acTables_;
    std::array<std::optional<QuantTable>, kMaxTables> quantTables_;
    std::uint32_t restartInterval_ = 0;
    int nextRestart_ = 0;
    bool jfif_ = false;
    bool adobe_ = false;
    int adobeTransform_ = 0;

    bool frameSeen_ = false;
    bool progressive_ = false;
    std::uint32_t width_ = 0, height_ = 0;
    int hMax_ = 1, vMax_ = 1;
    std::uint32_t mcusX_ = 0, mcusY_ = 0;
    std::vector<Component> components_;

    bool scanned_ = false;
    bool partial_ = false;
    bool refused_ = false;  // the file is for the full decoder after all
};

int Decoder::nextMarker(std::size_t& position) const {
    while (position < file_.size()) {
        while (position < file_.size() && file_[position] != 0xFF) ++position;
        while (position < file_.size() && file_[position] == 0xFF) ++position;
        if (position >= file_.size()) break;
        const int code = file_[position++];
        if (code != 0) return code;  // 0xFF 0x00 is data, not a marker
    }
    return 0;
}

JpegPreview Decoder::run() {
    JpegPreview out;
    if (file_.size() < 4 || file_[0] != 0xFF || file_[1] != kSoi) return out;
    // Bytes between segments are passed over, as the reference decoder does.
    reader::MemoryWindow window(file_);
    reader::JpegSegmentWalk walk(window, 0, file_.size(), {.skipStrayBytes = true});
    // A missing end counts as one.
    for (std::optional<reader::JpegSegment> found; (found = walk.next()) && found->marker != kEoi;) {
        const int marker = found->marker;
        const bool skipped = IsApp(marker) || marker == kCom || marker == kDnl;
        // A segment that is only skipped may claim less than its own length
        // field; the reference decoder then skips just that.
        bool ok = found->complete && (found->length >= 2 || skipped);
        const ByteView segment = ok ? view_.sub(found->payload, found->payloadLength()) : ByteView();

        if (!ok) {
        } else if (marker == kSof0 || marker == kSof1 || marker == kSof2) {
            ok = readFrame(segment, marker == kSof2);
        } else if (marker == kDht) {
            ok = readTables(segment);
        } else if (marker == kDqt) {
            ok = readQuantTables(segment);
        } else if (marker == kDri) {
            ok = segment.size() == 2;
            restartInterval_ = segment.u16(0);
        } else if (marker == kSos) {
            std::size_t position = found->payload + segment.size();
            ok = readScan(segment, position);
            walk.resumeAt(position);
        } else if (skipped) {
            readApp(marker, segment);
        } else {
            // Lossless, hierarchical or arithmetic frames, a second start of
            // image, reserved codes.
            ok = false;
        }
        if (!ok) {
            // After a scan, what it decoded stands, as far as it got.
            if (!scanned_ || refused_) return out;
            partial_ = true;
            break;
        }
    }
    if (!scanned_) return out;
    if (progressive_) {
        // While any of the first nine AC coefficients of a component is not
        // fully known (a scan missing, or cut off before it began), the
        // reference decoder estimates them, and the DC too, from the
        // neighbouring blocks' DCs: that picture is the full decoder's.
        for (const Component& c : components_)
            if (std::any_of(c.lowBit.begin() + 1, c.lowBit.end(), [](int low) { return low != 0; })) return out;
        transformCoefficients();
    }
    compose(out);
    const bool allScanned =
        std::all_of(components_.begin(), components_.end(), [](const Component& c) { return c.scanned; });
    out.result = partial_ || !allScanned ? JpegPreview::Result::Partial : JpegPreview::Result::Complete;
    return out;
}

void Decoder::readApp(int marker, ByteView segment) {
    // The colour space is settled when the first scan starts.
    if (scanned_) return;
    if (marker == kApp0 && segment.size() >= 14 && segment.startsWith(std::string_view("JFIF\0", 5)))
        jfif_ = true;
    if (marker == kApp14 && segment.size() >= 12 && segment.startsWith("Adobe")) {
        adobe_ = true;
        adobeTransform_ = segment.u8(11);
    }
}

bool Decoder::readFrame(ByteView segment, bool progressive) {
    if (frameSeen_ || segment.size() < 6) return false;
    progressive_ = progressive;
    const int precision = segment.u8(0);
    height_ = segment.u16(1);
    width_ = segment.u16(3);
    const int count = segment.u8(5);
    // A height of 0 would come later in a DNL marker; 12-bit samples and CMYK
    // are for the full decoder.
    if (precision != 8 || height_ == 0 || width_ == 0 || (count != 1 && count != 3) ||
        segment.size() != 6u + 3u * count)
        return false;
    components_.resize(count);
    for (int i = 0; i < count; ++i) {
        Component& c = components_[i];
        c.id = segment.u8(6 + 3 * i);
        const int sampling = segment.u8(7 + 3 * i);
        c.h = sampling >> 4;
        c.v = sampling & 15;
        c.quantTable = segment.u8(8 + 3 * i);
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable >= kMaxTables) return false;
        hMax_ = std::max(hMax_, c.h);
        vMax_ = std::max(vMax_, c.v);
    }
    if (count == 1) {
        // A lone component is never interleaved: its blocks cover the image.
        components_[0].h = components_[0].v = 1;
        hMax_ = vMax_ = 1;
    }
    mcusX_ = DivideUp(width_, 8u * hMax_);
    mcusY_ = DivideUp(height_, 8u * vMax_);
    std::uint64_t blocks = 0;
    std::uint64_t samples = 0;
    for (Component& c : components_) {
        // The chroma is spread over the preview by whole-number ratios only,
        // as the reference decoder does.
        if (hMax_ % c.h != 0 || vMax_ % c.v != 0) return false;
        // The reference decoder's choice of transform size at an eighth: as
        // large as the component's subsampling allows, up to its full share
        // of the preview. With sampling factors up to 4, at most 4 x 4.
        while (hMax_ % (c.h * c.scale * 2) == 0 && vMax_ % (c.v * c.scale * 2) == 0) c.scale *= 2;
        c.blocksWide = DivideUp(std::uint64_t{width_} * c.h, 8u * hMax_);
        c.blocksHigh = DivideUp(std::uint64_t{height_} * c.v, 8u * vMax_);
        c.planeWidth = mcusX_ * c.h * c.scale;
        c.planeHeight = mcusY_ * c.v * c.scale;
        c.samplesWide = DivideUp(std::uint64_t{width_} * c.h * c.scale, 8u * hMax_);
        c.samplesHigh = DivideUp(std::uint64_t{height_} * c.v * c.scale, 8u * vMax_);
        blocks += std::uint64_t{mcusX_} * c.h * mcusY_ * c.v;
        samples += std::uint64_t{c.planeWidth} * c.planeHeight;
    }
    const std::uint64_t pixels = std::uint64_t{DivideUp(width_, 8)} * DivideUp(height_, 8);
    std::uint64_t kept = 0;
    if (progressive_) {
        for (Component& c : components_) {
            c.slots = c.scale == 1 ? &kSlotsDc : c.scale == 2 ? &kSlots2x2 : &kSlots4x4;
            c.blocksPerRow = mcusX_ * c.h;
            const std::uint64_t grid = std::uint64_t{c.blocksPerRow} * mcusY_ * c.v;
            kept += grid * (sizeof(std::int16_t) * c.slots->count + (c.scale > 1 ? sizeof(std::uint64_t) : 0));
        }
    }
    const std::uint64_t perByte = progressive_ ? kProgressiveBlocksPerByte : kBlocksPerByte;
    if (blocks > file_.size() * perByte + kBlocksAlways || kept + samples + pixels * sizeof(std::uint32_t) > maxBytes_)
        return false;
    for (Component& c : components_) {
        if (!progressive_) {
            c.plane.assign(std::size_t{c.planeWidth} * c.planeHeight, 128);
            continue;
        }
        const std::size_t grid = std::size_t{c.blocksPerRow} * mcusY_ * c.v;
        c.coefficients.assign(grid * c.slots->count, 0);
        if (c.scale > 1) c.nonzero.assign(grid, 0);
    }
    frameSeen_ = true;
    return true;
}

bool Decoder::readTables(ByteView segment) {
    std::uint64_t at = 0;
    while (at < segment.size()) {
        const int selector = segment.u8(at);
        const int tableClass = selector >> 4;
        const int index = selector & 15;
        if (tableClass > 1 || index >= kMaxTables || !segment.fits(at + 1, 16)) return false;
        std::uint8_t counts[17] = {};
        int total = 0;
        for (int length = 1; length <= 16; ++length) {
            counts[length] = segment.u8(at + length);
            total += counts[length];
        }
        if (total > 256 || !segment.fits(at + 17, total)) return false;
        // A bad table is an error only once a scan uses it, as in the
        // reference decoder.
        auto table = std::make_unique<HuffmanTable>();
        table->usable = BuildTable(*table, counts, segment.sub(at + 17, total), tableClass == 0);
        (tableClass == 0 ? dcTables_[index] : acTables_[index]) = std::move(table);
        at += 17u + total;
    }
    return true;
}

const HuffmanTable* Decoder::table(int tableClass, int index) {
    std::unique_ptr<HuffmanTable>& slot = tableClass == 0 ? dcTables_[index] : acTables_[index];
    if (slot) return slot->usable ? slot.get() : nullptr;
    if (progressive_) return nullptr;  // its progressive decoder has no standard tables
    for (const StandardHuffmanTable& standard : kStandardHuffmanTables) {
        if (standard.tableClass != tableClass || standard.index != index) continue;
        std::uint8_t counts[17] = {};
        std::copy(standard.counts.begin(), standard.counts.end(), counts + 1);
        auto built = std::make_unique<HuffmanTable>();
        built->usable = BuildTable(*built, counts, ByteView(standard.values, true), tableClass == 0);
        slot = std::move(built);
        return slot.get();
    }
    return nullptr;
}

bool Decoder::readQuantTables(ByteView segment) {
    std::uint64_t at = 0;
    while (at < segment.size()) {
        const int selector = segment.u8(at);
        const int precision = selector >> 4;
        const int index = selector & 15;
        const std::uint64_t size = precision == 0 ? 64 : 128;
        if (precision > 1 || index >= kMaxTables || !segment.fits(at + 1, size)) return false;
        QuantTable& table = quantTables_[index].emplace();
        for (int i = 0; i < 64; ++i)
            table[kNaturalOrder[i]] = precision == 0 ? segment.u8(at + 1 + i) : segment.u16(at + 1 + 2 * i);
        at += 1 + size;
    }
    return true;
}


bool Decoder::readScan(ByteView header, std::size_t& position) {
    if (!frameSeen_ || header.size() < 1) return false;
    const std::size_t count = header.u8(0);
    if (count < 1 || count > components_.size() || header.size() != 4 + 2 * count) return false;
    std::array<ScanComponent, kMaxComponents> scan{};
    int blocksInMcu = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int id = header.u8(1 + 2 * i);
        const int tables = header.u8(2 + 2 * i);
        Component* found = nullptr;
        for (Component& c : components_) {
            const bool taken = std::any_of(scan.begin(), scan.begin() + i,
                                           [&](const ScanComponent& s) { return s.component == &c; });
            if (c.id == id && !taken) {
                found = &c;
                break;
            }
        }
        const int dc = tables >> 4;
        const int ac = tables & 15;
        const HuffmanTable* dcTable = dc < kMaxTables ? table(0, dc) : nullptr;
        const HuffmanTable* acTable = ac < kMaxTables ? table(1, ac) : nullptr;
        if (!found) return false;
        if (!progressive_) {
            if (!dcTable || !acTable) return false;
            // A component coded again adds to the coefficients it has (or,
            // after a first scan with every component, changes nothing) in
            // the full decoder; that is its business.
            if (found->scanned) {
                refused_ = true;
                return false;
            }
        }
        // The quantisation table is taken when the component's first scan
        // starts; a later definition does not change it.
        if (!found->quant) {
            if (!quantTables_[found->quantTable]) return false;
            found->quant = quantTables_[found->quantTable];
        }
        scan[i] = {found, dcTable, acTable};
        blocksInMcu += found->h * found->v;
    }
    if (count > 1 && blocksInMcu > kMaxBlocksInMcu) return false;

    if (progressive_) {
        if (!readProgressiveScan(header, std::span<ScanComponent>(scan.data(), count), position)) return false;
    } else {
        // The spectral selection and successive approximation bytes that
        // follow mean nothing in a sequential frame; some encoders leave
        // them zero.
        decodeScan(std::span<const ScanComponent>(scan.data(), count), position);
    }
    for (std::size_t i = 0; i < count; ++i) scan[i].component->scanned = true;
    scanned_ = true;
    return true;
}

bool Decoder::readProgressiveScan(ByteView header, std::span<ScanComponent> scan, std::size_t& position) {
    const std::size_t at = 1 + 2 * scan.size();
    const int first = header.u8(at);
    const int last = header.u8(at + 1);
    const int high = header.u8(at + 2) >> 4;  // the bit refined, plus one; 0 in a first scan
    const int low = header.u8(at + 2) & 15;   // the lowest bit sent
    // The reference decoder's rules, which end its decoding when broken: a DC
    // scan has the DC alone, an AC scan one component, a refinement one bit.
    const bool dc = first == 0;
    if (dc ? last != 0 : first > last || last > 63 || scan.size() != 1) return false;
    if ((high != 0 && low != high - 1) || low > 13) return false;
    // Only a first DC scan and an AC scan have a table to check.
    for (const ScanComponent& s : scan) {
        if (dc && high == 0 && !s.dc) return false;
        if (!dc && !s.ac) return false;
    }
    for (const ScanComponent& s : scan)
        for (int k = first; k <= std::min(last, 9); ++k) s.component->lowBit[k] = low;

    if (dc) {
        decodeDcScan(scan, low, high != 0, position);
    } else if (scan[0].component->scale == 1) {
        // Nothing at an eighth comes from these coefficients.
        skipScan(std::uint64_t{scan[0].component->blocksWide} * scan[0].component->blocksHigh, position);
    } else {
        decodeAcScan(scan[0], first, last, low, high != 0, position);
    }
    return true;
}

template <class DecodeMcu, class Restarted>
void Decoder::walkScan(std::uint32_t mcusX, std::uint32_t mcusY, Bits& bits, DecodeMcu decodeMcu, Restarted restarted) {
    const std::uint64_t total = std::uint64_t{mcusX} * mcusY;
    std::uint64_t mcu = 0;
    std::uint32_t mcuX = 0, mcuY = 0;
    bool starved = false;
    nextRestart_ = 0;
    while (mcu < total) {
        const std::uint64_t end = restartInterval_ ? std::min(total, mcu + restartInterval_) : total;
        for (; mcu < end && !starved; ++mcu) {
            decodeMcu(mcuX, mcuY);
            starved = bits.count < bits.pad;
            if (++mcuX == mcusX) {
                mcuX = 0;
                ++mcuY;
            }
        }
        if (starved) partial_ = true;
        // The rest of a starved interval stays as it was.
        mcu = end;
        mcuX = static_cast<std::uint32_t>(mcu % mcusX);
        mcuY = static_cast<std::uint32_t>(mcu / mcusX);
        if (mcu >= total || !restart(bits, starved)) break;
        restarted();
    }
}

void Decoder::decodeScan(std::span<const ScanComponent> scan, std::size_t& position) {
    // The MCU grid: one block per MCU for a lone component, else each
    // component's h x v blocks.
    std::uint32_t mcusX = mcusX_, mcusY = mcusY_;
    std::array<McuBlock, kMaxBlocksInMcu> blocks{};
    int blockCount = 0;
    // Steps and offsets in samples of the component's plane.
    std::array<std::uint32_t, kMaxComponents> stepX{}, stepY{}, planeWidth{};
    std::array<std::uint8_t*, kMaxComponents> planes{};
    std::array<const QuantTable*, kMaxComponents> quant{};
    std::array<int, kMaxComponents> scales{};
    for (std::size_t i = 0; i < scan.size(); ++i) {
        Component& c = *scan[i].component;
        planes[i] = c.plane.data();
        planeWidth[i] = c.planeWidth;
        quant[i] = &*c.quant;
        scales[i] = c.scale;
        const auto scale = static_cast<std::uint32_t>(c.scale);
        if (scan.size() == 1) {
            mcusX = c.blocksWide;
            mcusY = c.blocksHigh;
            stepX[i] = stepY[i] = scale;
            blocks[blockCount++] = {0, 0};
            break;
        }
        stepX[i] = c.h * scale;
        stepY[i] = c.v * scale;
        for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(c.v); ++y)
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(c.h); ++x)
                blocks[blockCount++] = {static_cast<int>(i), (y * c.planeWidth + x) * scale};
    }
    Coefficients coefficients{};  // zero but for the block being decoded

    const std::span<const std::uint8_t> data = file_;
    Bits bits;
    bits.position = position;
    std::array<std::uint32_t, kMaxComponents> prediction{};
    const auto decodeMcu = [&](std::uint32_t mcuX, std::uint32_t mcuY) {
        std::array<std::uint8_t*, kMaxComponents> corner{};
        for (std::size_t i = 0; i < scan.size(); ++i)
            corner[i] = planes[i] + std::size_t{mcuY} * stepY[i] * planeWidth[i] + std::size_t{mcuX} * stepX[i];
        for (int b = 0; b < blockCount; ++b) {
            const int i = blocks[b].scanIndex;
            const HuffmanTable& ac = *scan[i].ac;
            prediction[i] += static_cast<std::uint32_t>(DecodeDcDifference(*scan[i].dc, bits, data));
            if (scales[i] > 1) {
                std::uint64_t written = DecodeAc(ac, bits, data, coefficients);
                std::uint8_t* out = corner[i] + blocks[b].offset;
                const int scale = scales[i];
                if (written & (scale == 2 ? kReads2x2 : kReads4x4)) {
                    coefficients[0] = static_cast<std::int16_t>(prediction[i] & 0xFFFF);
                    if (scale == 2) Transform2x2(coefficients, *quant[i], out, planeWidth[i]);
                    else Transform4x4(coefficients, *quant[i], out, planeWidth[i]);
                } else {
                    // Without those the transform gives the DC sample throughout.
                    const std::uint8_t sample = DcSample(prediction[i], (*quant[i])[0]);
                    for (int y = 0; y < scale; ++y) std::memset(out + y * std::size_t{planeWidth[i]}, sample, scale);
                }
                for (; written; written &= written - 1) coefficients[std::countr_zero(written)] = 0;
                continue;
            }
            corner[i][blocks[b].offset] = DcSample(prediction[i], (*quant[i])[0]);

            for (int k = 1; k < 64;) {
                if (bits.count < 32) Refill(bits, data);
                if (const std::uint32_t entry = ac.skip[bits.buffer >> (64 - kLookahead)]) {
                    // A branch, not a select: it is rarely false, and a
                    // select would lengthen the chain from one lookup to
                    // the next.
                    if (k + SkipFields::BeforeLast(entry) < 64) [[likely]] {
                        bits.buffer <<= SkipFields::Bits(entry);
                        bits.count -= static_cast<int>(SkipFields::Bits(entry));
                        k += static_cast<int>(SkipFields::Advance(entry));
                    } else {
                        bits.buffer <<= SkipFields::FirstBits(entry);
                        bits.count -= static_cast<int>(SkipFields::FirstBits(entry));
                        k += static_cast<int>(SkipFields::FirstAdvance(entry));
                    }
                    continue;
                }
                const Symbol symbol = SlowSymbol(ac, bits.buffer);
                const int run = symbol.value >> 4;
                const int extra = symbol.value & 15;
                const int skip = symbol.length + extra;
                bits.buffer <<= skip;
                bits.count -= skip;
                if (extra) k += run + 1;
                else if (run == 15) k += 16;
                else break;
            }
        }
    };
    walkScan(mcusX, mcusY, bits, decodeMcu, [&] { prediction = {}; });
    position = bits.marker ? bits.markerPosition : bits.position;
}

void Decoder::decodeDcScan(std::span<const ScanComponent> scan, int low, bool refine, std::size_t& position) {
    // Blocks are numbered in each component's MCU-padded grid.
    std::uint32_t mcusX = mcusX_, mcusY = mcusY_;
    std::array<McuBlock, kMaxBlocksInMcu> blocks{};
    int blockCount = 0;
    std::array<std::uint32_t, kMaxComponents> stepX{}, stepY{};
    std::array<std::int16_t*, kMaxComponents> kept{};
    std::array<int, kMaxComponents> slotCount{};
    for (std::size_t i = 0; i < scan.size(); ++i) {
        Component& c = *scan[i].component;
        kept[i] = c.coefficients.data();
        slotCount[i] = c.slots->count;
        if (scan.size() == 1) {
            mcusX = c.blocksWide;
            mcusY = c.blocksHigh;
            stepX[i] = 1;
            stepY[i] = c.blocksPerRow;
            blocks[blockCount++] = {0, 0};
            break;
        }
        stepX[i] = c.h;
        stepY[i] = c.v * c.blocksPerRow;
        for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(c.v); ++y)
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(c.h); ++x)
                blocks[blockCount++] = {static_cast<int>(i), y * c.blocksPerRow + x};
    }

    const std::span<const std::uint8_t> data = file_;
    Bits bits;
    bits.position = position;
    std::array<std::uint32_t, kMaxComponents> prediction{};
    const auto dc = [&](int b, std::uint32_t mcuX, std::uint32_t mcuY) -> std::int16_t& {
        const int i = blocks[b].scanIndex;
        const std::size_t block = std::size_t{mcuY} * stepY[i] + std::size_t{mcuX} * stepX[i] + blocks[b].offset;
        return kept[i][block * slotCount[i]];
    };
    if (refine) {
        const auto bit = static_cast<std::int16_t>(1 << low);
        walkScan(mcusX, mcusY, bits, [&](std::uint32_t mcuX, std::uint32_t mcuY) {
            for (int b = 0; b < blockCount; ++b) {
                if (bits.count < 32) Refill(bits, data);
                if (TakeBits(bits, 1)) dc(b, mcuX, mcuY) |= bit;
            }
        }, [] {});
    } else {
        walkScan(mcusX, mcusY, bits, [&](std::uint32_t mcuX, std::uint32_t mcuY) {
            for (int b = 0; b < blockCount; ++b) {
                const int i = blocks[b].scanIndex;
                prediction[i] += static_cast<std::uint32_t>(DecodeDcDifference(*scan[i].dc, bits, data));
                dc(b, mcuX, mcuY) = static_cast<std::int16_t>(prediction[i] << low);
            }
        }, [&] { prediction = {}; });
    }
    position = bits.marker ? bits.markerPosition : bits.position;
}

void Decoder::decodeAcScan(const ScanComponent& scan, int first, int last, int low, bool refine,
                           std::size_t& position) {
    Component& c = *scan.component;
    const HuffmanTable& table = *scan.ac;
    const std::span<const std::uint8_t> data = file_;
    Bits bits;
    bits.position = position;
    std::uint32_t emptyBlocks = 0;
    walkScan(c.blocksWide, c.blocksHigh, bits, [&](std::uint32_t x, std::uint32_t y) {
        const std::size_t index = std::size_t{y} * c.blocksPerRow + x;
        const KeptBlock block{&c.coefficients[index * c.slots->count], &c.nonzero[index], c.slots};
        if (refine) DecodeAcRefine(table, bits, data, first, last, std::int32_t{1} << low, block, emptyBlocks);
        else DecodeAcFirst(table, bits, data, first, last, low, block, emptyBlocks);
    }, [&] { emptyBlocks = 0; });
    position = bits.marker ? bits.markerPosition : bits.position;
}

void Decoder::skipScan(std::uint64_t mcus, std::size_t& position) {
    // Where a scan's data ends depends only on its markers: the bit reader
    // stops at the first, and each restart goes on from the marker it takes.
    Bits bits;
    findMarker(bits, position);
    nextRestart_ = 0;
    const std::uint64_t intervals = restartInterval_ ? (mcus + restartInterval_ - 1) / restartInterval_ : 1;
    for (std::uint64_t interval = 1; interval < intervals; ++interval) {
        // Any other marker that resynchronising does not skip stays put
        // until the scan is over.
        if (!(bits.marker >= kRst0 && bits.marker <= kRst7) && bits.marker >= kSof0) break;
        bool starved = true;
        restart(bits, starved);
        if (bits.marker == 0) findMarker(bits, bits.position);
    }
    if (bits.markerPosition >= file_.size()) partial_ = true;  // the file ends inside the scan
    position = bits.markerPosition;
}

void Decoder::transformCoefficients() {
    for (Component& c : components_) {
        c.plane.assign(std::size_t{c.planeWidth} * c.planeHeight, 128);
        const std::uint32_t blockRows = mcusY_ * c.v;
        const auto scale = static_cast<std::uint32_t>(c.scale);
        // A component no scan named stays mid-grey.
        if (c.quant) {
            const QuantTable& quant = *c.quant;
            const std::uint64_t reads = scale == 2 ? kReads2x2 : kReads4x4;
            Coefficients coefficients{};
            for (std::uint32_t y = 0; y < blockRows; ++y) {
                for (std::uint32_t x = 0; x < c.blocksPerRow; ++x) {
                    const std::size_t index = std::size_t{y} * c.blocksPerRow + x;
                    const std::int16_t* kept = &c.coefficients[index * c.slots->count];
                    std::uint8_t* out = &c.plane[std::size_t{y} * scale * c.planeWidth + std::size_t{x} * scale];
                    const std::uint8_t sample = DcSample(static_cast<std::uint16_t>(kept[0]), quant[0]);
                    if (scale == 1 || !(c.nonzero[index] & reads)) {
                        for (std::uint32_t row = 0; row < scale; ++row) std::memset(out + row * std::size_t{c.planeWidth}, sample, scale);
                        continue;
                    }
                    for (int slot = 0; slot < c.slots->count; ++slot) coefficients[c.slots->position[slot]] = kept[slot];
                    if (scale == 2) Transform2x2(coefficients, quant, out, c.planeWidth);
                    else Transform4x4(coefficients, quant, out, c.planeWidth);
                }
            }
        }
        std::vector<std::int16_t>().swap(c.coefficients);
        std::vector<std::uint64_t>().swap(c.nonzero);
    }
}

void Decoder::findMarker(Bits& bits, std::size_t from) const {
    const int code = nextMarker(from);
    if (code == 0) {
        bits.marker = kEoi;
        bits.markerPosition = bits.markerEnd = file_.size();
    } else {
        bits.marker = code;
        bits.markerPosition = from - 2;
        bits.markerEnd = from;
    }
    // Parked on the marker, the reader finds no more data before it.
    bits.position = bits.markerPosition;
}

bool Decoder::restart(Bits& bits, bool& starved) {
    bits.buffer = 0;
    bits.count = 0;
    bits.pad = 0;
    if (bits.marker == 0) findMarker(bits, bits.position);
    const auto isRestart = [](int marker) { return marker >= kRst0 && marker <= kRst7; };
    // The reference decoder's resynchronisation: take the expected marker, or
    // one too far off to make sense of; skip to the next marker after an
    // earlier one or a non-marker; leave a later one (or any other marker)
    // for the interval it belongs to, leaving this interval empty.
    for (;;) {
        const int marker = bits.marker;
        const int number = marker - kRst0;
        const auto near = [&](int offset) { return number == ((nextRestart_ + offset) & 7); };
        if (marker == kRst0 + nextRestart_ ||
            (isRestart(marker) && !near(1) && !near(2) && !near(-1) && !near(-2))) {
            bits.position = bits.markerEnd;
            bits.marker = 0;
            starved = false;
            break;
        }
        if (marker < kSof0 || (isRestart(marker) && (near(-1) || near(-2)))) {
            findMarker(bits, bits.markerEnd);
            continue;
        }
        break;
    }
    nextRestart_ = (nextRestart_ + 1) & 7;
    // Another marker pending ends the scan's data for good.
    return bits.marker == 0 || isRestart(bits.marker) || !starved;
}

// The reference decoder's YCbCr to RGB conversion, in 16-bit fixed point.
struct ColourTables {
    std::array<int, 256> crRed{}, cbBlue{};
    std::array<std::int32_t, 256> crGreen{}, cbGreen{};
    constexpr ColourTables() {
        constexpr std::int32_t half = 1 << 15;
        const auto fix = [](double x) { return static_cast<std::int32_t>(x * 65536 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const std::int32_t x = i - 128;
            crRed[i] = (fix(1.40200) * x + half) >> 16;
            cbBlue[i] = (fix(1.77200) * x + half) >> 16;
            crGreen[i] = -fix(0.71414) * x;
            cbGreen[i] = -fix(0.34414) * x + half;
        }
    }
};
constexpr ColourTables kColour;

std::uint32_t Clamp255(int value) {
    return static_cast<std::uint32_t>(std::clamp(value, 0, 255));
}

// Spreads a component's samples over the preview grid by repeating them, as
// the reference decoder does at an eighth.
class Resampler {
public:
    Resampler(const Component& c, int hMax, int vMax, std::uint32_t width)
        : c_(c), ratioY_(static_cast<std::uint32_t>(vMax / (c.v * c.scale))) {
        const auto ratioX = static_cast<std::uint32_t>(hMax / (c.h * c.scale));
        columns_.resize(width);
        for (std::uint32_t x = 0; x < width; ++x) columns_[x] = std::min(x / ratioX, c.samplesWide - 1);
        whole_ = ratioX == 1 && width <= c.samplesWide;
    }

    void row(std::uint32_t y, std::uint8_t* out) const {
        const std::uint8_t* in = c_.plane.data() + std::size_t{std::min(y / ratioY_, c_.samplesHigh - 1)} * c_.planeWidth;
        if (whole_) {
            std::memcpy(out, in, columns_.size());
            return;
        }
        for (std::size_t x = 0; x < columns_.size(); ++x) out[x] = in[columns_[x]];
    }

private:
    const Component& c_;
    std::uint32_t ratioY_;
    bool whole_ = false;
    std::vector<std::uint32_t> columns_;
};

void Decoder::compose(JpegPreview& out) const {
    out.imageWidth = width_;
    out.imageHeight = height_;
    out.width = DivideUp(width_, 8);
    out.height = DivideUp(height_, 8);
    out.grey = components_.size() == 1;
    out.pixels.resize(std::size_t{out.width} * out.height);

    std::vector<Resampler> resamplers;
    for (const Component& c : components_) resamplers.emplace_back(c, hMax_, vMax_, out.width);
    bool rgb = false;
    if (components_.size() == 3) {
        if (jfif_) rgb = false;
        else if (adobe_) rgb = adobeTransform_ == 0;
        else rgb = components_[0].id == 'R' && components_[1].id == 'G' && components_[2].id == 'B';
    }

    std::vector<std::uint8_t> rows(std::size_t{out.width} * components_.size());
    for (std::uint32_t y = 0; y < out.height; ++y) {
        for (std::size_t i = 0; i < components_.size(); ++i) resamplers[i].row(y, rows.data() + i * out.width);
        std::uint32_t* line = out.pixels.data() + std::size_t{y} * out.width;
        const std::uint8_t* first = rows.data();
        if (components_.size() == 1) {
            for (std::uint32_t x = 0; x < out.width; ++x) line[x] = 0xFF000000u | first[x] * 0x010101u;
            continue;
        }
        const std::uint8_t* second = first + out.width;
        const std::uint8_t* third = second + out.width;
        for (std::uint32_t x = 0; x < out.width; ++x) {
            std::uint32_t r, g, b;
            if (rgb) {
                r = first[x];
                g = second[x];
                b = third[x];
            } else {
                const int luma = first[x], cb = second[x], cr = third[x];
                r = Clamp255(luma + kColour.crRed[cr]);
                g = Clamp255(luma + ((kColour.cbGreen[cb] + kColour.crGreen[cr]) >> 16));
                b = Clamp255(luma + kColour.cbBlue[cb]);
            }
            line[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
}

}  // namespace

JpegPreview DecodeJpegPreview(std::span<const std::uint8_t> file, std::uint64_t maxBytes) {
    return Decoder(file, maxBytes).run();
}

}  // namespace preview
