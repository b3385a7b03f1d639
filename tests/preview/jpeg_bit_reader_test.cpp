// The refill the decoding loops make at every step (which takes the bytes
// before a 0xFF a word at a time) against the byte-by-byte reader's view of
// the same data: the same bits, and the same marker where the data stops,
// over data thick with stuffed bytes, fill bytes, 0xFE before 0xFF, markers
// and ends that cut a stuffed pair in two.
#include "preview/jpeg_bit_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace preview::jpegdecoder {
namespace {

struct Reference {
    std::vector<bool> bits;  // the data's bits, stuffing left out
    int marker = 0;
    std::size_t markerPosition = 0;
};

// The entropy-coded data as the standard defines it, read plainly.
Reference Unstuff(const std::vector<std::uint8_t>& data) {
    Reference out;
    const auto add = [&](std::uint8_t byte) {
        for (int bit = 7; bit >= 0; --bit) out.bits.push_back((byte >> bit) & 1);
    };
    std::size_t at = 0;
    while (at < data.size()) {
        if (data[at] != 0xFF) {
            add(data[at++]);
            continue;
        }
        std::size_t next = at + 1;
        while (next < data.size() && data[next] == 0xFF) ++next;
        if (next < data.size() && data[next] == 0) {
            add(0xFF);
            at = next + 1;
            continue;
        }
        out.marker = next < data.size() ? int{data[next]} : int{reader::jpeg::kEoi};
        out.markerPosition = at;
        return out;
    }
    out.marker = reader::jpeg::kEoi;
    out.markerPosition = data.size();
    return out;
}

// Entropy-coded-looking bytes: `ffShare` of them 0xFF (stuffed, or fill
// before a stuffed zero), some 0xFE before one, and a marker at `markerAt`.
std::vector<std::uint8_t> MakeData(std::mt19937& random, std::size_t size, int ffShare,
                                   std::size_t markerAt, std::uint8_t marker) {
    std::vector<std::uint8_t> data;
    std::uniform_int_distribution<int> byte(0, 255), percent(0, 99);
    bool marked = false;
    while (data.size() < size) {
        if (!marked && data.size() >= markerAt) {
            data.insert(data.end(), {0xFF, marker});
            marked = true;
            continue;
        }
        const int roll = percent(random);
        if (roll < ffShare) data.insert(data.end(), {0xFF, 0x00});
        else if (roll < ffShare + 3) data.insert(data.end(), {0xFE, 0xFF, 0x00});
        else if (roll < ffShare + 5) data.insert(data.end(), {0xFF, 0xFF, 0xFF, 0x00});
        else data.push_back(static_cast<std::uint8_t>(byte(random)));
    }
    return data;
}

TEST(JpegBitReader, RefillingAtEachStepReadsWhatTheDataHolds) {
    struct Case {
        const char* name;
        int ffShare;           // percent of stuffed 0xFF
        std::size_t markerAt;  // SIZE_MAX: none, the data just ends
        std::uint8_t marker;
        bool cutLastByte;  // ends inside whatever was last, a stuffed pair say
    };
    const Case cases[] = {
        {"plain data to the end", 0, SIZE_MAX, 0, false},
        {"stuffed bytes now and then", 2, SIZE_MAX, 0, false},
        {"stuffed bytes thick", 30, SIZE_MAX, 0, false},
        {"a restart marker", 5, 300, 0xD3, false},
        {"an end of image early", 5, 17, 0xD9, false},
        {"a marker at once", 5, 0, 0xD0, false},
        {"cut inside a stuffed pair", 40, SIZE_MAX, 0, true},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        for (int round = 0; round < 200; ++round) {
            std::vector<std::uint8_t> data =
                MakeData(random, 40 + random() % 600, c.ffShare, c.markerAt, c.marker);
            if (c.cutLastByte) data.push_back(0xFF);
            const Reference expected = Unstuff(data);
            const std::span<const std::uint8_t> span(data);

            Bits bits;
            std::size_t read = 0;
            std::uniform_int_distribution<int> step(1, 28);
            // Into the zeros past the data's end too, as a decoder of broken
            // data does.
            while (read < expected.bits.size() + 200) {
                Refill(bits, span);
                ASSERT_GE(bits.count, 40) << c.name;
                ASSERT_LE(bits.count, 63) << c.name;
                if (read <= expected.bits.size()) {
                    ASSERT_EQ(bits.loaded - static_cast<std::uint64_t>(bits.count - bits.pad), read)
                        << c.name;
                }
                const int n = step(random);
                const std::uint64_t got = bits.buffer >> (64 - n);
                for (int i = 0; i < n; ++i, ++read) {
                    const bool want = read < expected.bits.size() && expected.bits[read];
                    ASSERT_EQ(((got >> (n - 1 - i)) & 1) != 0, want)
                        << c.name << ": bit " << read << " of " << expected.bits.size();
                }
                bits.buffer <<= n;
                bits.count -= n;
            }
            EXPECT_EQ(bits.marker, expected.marker) << c.name;
            EXPECT_EQ(bits.markerPosition, expected.markerPosition) << c.name;
        }
    }
}

}  // namespace
}  // namespace preview::jpegdecoder
