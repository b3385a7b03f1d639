#include "preview/jpeg_transforms.h"

namespace preview::jpegdecoder {

namespace {

// The positions of column 0 in the rows of `rows`.
constexpr std::uint64_t ColumnRows(std::initializer_list<int> rows) {
    std::uint64_t mask = 0;
    for (int row : rows) mask |= std::uint64_t{1} << (row * 8);
    return mask;
}

// Whether `column` has a position the transform reads in `present`; the
// first column's first (the DC) is not read. A column with none adds
// nothing: its parts are zero, as they start.
bool ColumnPresent(std::uint64_t present, std::uint64_t columnRows, int column) {
    return (present & ~std::uint64_t{1} & (columnRows << column)) != 0;
}

// The 2 x 2 transform's split (it reads rows and columns 0, 1, 3, 5 and 7).
void Split2x2(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
              std::int64_t* split) {
    constexpr std::uint64_t kRows = ColumnRows({0, 1, 3, 5, 7});
    constexpr std::int64_t c1 = 29692, c3 = -10426, c5 = 6967, c7 = -5906;  // 13-bit fractions
    constexpr int kOdd[4] = {1, 3, 5, 7};
    constexpr std::int64_t kWeight[4] = {c1, c3, c5, c7};
    // A column's first pass, its two outputs kept in 32 bits as the
    // workspace keeps them. A column with nothing present is all zeros in
    // `in`, and gives zeros.
    struct Outputs {
        std::int64_t top, bottom;
    };
    const auto pass = [&](int column) {
        const auto dequantised = [&](int row) {
            return std::int64_t{Dequantise(in[row * 8 + column], quant[row * 8 + column])};
        };
        const std::int64_t even = column == 0 ? 0 : dequantised(0) * (1 << 15);
        std::int64_t odd = 0;
        for (int i = 0; i < 4; ++i) odd += dequantised(kOdd[i]) * kWeight[i];
        return Outputs{static_cast<std::int32_t>((even + odd + (1 << 12)) >> 13),
                       static_cast<std::int32_t>((even - odd + (1 << 12)) >> 13)};
    };
    // Nearly all chroma blocks have coefficients in the first two columns
    // alone, in a mix no branch guesses well: those two without asking.
    const Outputs first = pass(0);
    const Outputs second = pass(1);
    // The second pass's odd part of each row.
    Outputs odd{second.top * c1, second.bottom * c1};
    if (present & (kRows << 3 | kRows << 5 | kRows << 7)) [[unlikely]] {
        for (int i = 1; i < 4; ++i) {
            if (!ColumnPresent(present, kRows, kOdd[i])) continue;
            const Outputs column = pass(kOdd[i]);
            odd.top += column.top * kWeight[i];
            odd.bottom += column.bottom * kWeight[i];
        }
    }
    // A row's two samples are its even part plus and minus its odd part;
    // both kept as far as the samples depend on them.
    const auto row = [](std::int64_t even, std::int64_t odd) {
        const std::uint32_t whole = static_cast<std::uint32_t>(odd >> 15) & kSplitBits2x2;
        const std::uint32_t rest = (odd & kSplitBits2x2) != 0 ? 1u : 0u;
        return std::uint64_t{(static_cast<std::uint32_t>(even) & kSplitBits2x2) | whole << 16 |
                             rest << 31};
    };
    split[0] =
        static_cast<std::int64_t>(row(first.top, odd.top) | row(first.bottom, odd.bottom) << 32);
}

// The 4 x 4 transform's (all rows and columns but 4).
void Split4x4(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
              std::int64_t* split) {
    constexpr std::uint64_t kRows = ColumnRows({0, 1, 2, 3, 5, 6, 7});
    // 13-bit fractions: the even part's c2 and c6, the odd part's weights of
    // inputs 7, 5, 3 and 1 for outputs 1/2 (first) and 0/3 (second).
    constexpr std::int64_t c2 = 15137, c6 = -6270;
    constexpr int kOdd[4] = {7, 5, 3, 1};
    constexpr std::int64_t kFirst[4] = {-1730, 11893, -17799, 8697};
    constexpr std::int64_t kSecond[4] = {-4176, -4926, 7373, 20995};
    // One 4-point pass over v[0..7] but v[0], its outputs plus `base`.
    const auto pass = [&](const auto& v, std::int64_t base, auto store) {
        const std::int64_t turn = v(2) * c2 + v(6) * c6;
        const std::int64_t even0 = base + turn, even1 = base - turn;
        std::int64_t first = 0, second = 0;
        for (int i = 0; i < 4; ++i) {
            first += v(kOdd[i]) * kFirst[i];
            second += v(kOdd[i]) * kSecond[i];
        }
        store(0, even0 + second);
        store(3, even0 - second);
        store(1, even1 + first);
        store(2, even1 - first);
    };
    std::int32_t work[4][8] = {};
    for (int row = 0; row < 4; ++row) split[row] = 0;
    for (int column : {0, 1, 2, 3, 5, 6, 7}) {
        if (!ColumnPresent(present, kRows, column)) continue;
        const auto dequantised = [&](int row) {
            return std::int64_t{Dequantise(in[row * 8 + column], quant[row * 8 + column])};
        };
        const std::int64_t base = column == 0 ? 0 : dequantised(0) * (1 << 14);
        pass(dequantised, base + (1 << 11), [&](int row, std::int64_t value) {
            if (column == 0) split[row] = value >> 12;
            else work[row][column] = static_cast<std::int32_t>(value >> 12);
        });
    }
    std::int64_t* rest = split + 4;
    for (int row = 0; row < 4; ++row) {
        pass([&](int column) { return std::int64_t{work[row][column]}; }, std::int64_t{1} << 18,
             [&](int column, std::int64_t value) { rest[row * 4 + column] = value; });
    }
}

}  // namespace

void SplitTransform(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
                    int scale, std::int64_t* split) {
    if (scale == 2) Split2x2(in, present, quant, split);
    else Split4x4(in, present, quant, split);
}

// The reference decoder's small inverse transforms, in its own fixed point.
void Transform2x2(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
                  std::uint8_t* out, std::size_t stride) {
    std::int64_t split[kSplitValues2x2];
    Split2x2(in, present, quant, split);
    SamplesFromSplit(Dequantise(in[0], quant[0]), split, 2, out, stride);
}

void Transform4x4(const Coefficients& in, std::uint64_t present, const QuantTable& quant,
                  std::uint8_t* out, std::size_t stride) {
    std::int64_t split[kSplitValues4x4];
    Split4x4(in, present, quant, split);
    SamplesFromSplit(Dequantise(in[0], quant[0]), split, 4, out, stride);
}

}  // namespace preview::jpegdecoder
