// JPEG files made in code with libjpeg, in the layouts the preview decoder
// meets (sampling factors, restart intervals, several scans, RGB, progressive,
// arithmetic coding), and libjpeg's own eighth-size decode to compare with.
// Used by the preview tests and the fuzzer's seed writer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace jpegtest {

using Bytes = std::vector<std::uint8_t>;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes a pixel, row by row
};

// A photo-like picture: soft gradients, fine texture, a bright rectangle and
// a red disc with hard edges, so that every kind of Huffman symbol occurs.
Picture Scene(int width, int height, std::uint32_t seed = 1);

// One scan of a progressive script: the components (by their index in the
// frame), the band of coefficients in zigzag order, and the bits: `high` is
// the bit refined plus one (0 in a first scan), `low` the lowest bit sent.
struct Scan {
    std::vector<int> components;
    int first = 0, last = 0;
    int high = 0, low = 0;
};

struct Layout {
    int quality = 90;
    int components = 3;       // 1 (grey), 3 (YCbCr or RGB) or 4 (CMYK)
    int h[4] = {2, 1, 1, 1};  // sampling factors, by component
    int v[4] = {2, 1, 1, 1};
    bool rgb = false;            // stored as RGB, with an Adobe marker (transform 0)
    int restartInterval = 0;     // MCUs; 0 = none
    bool separateScans = false;  // one sequential scan per component
    bool optimize = false;       // Huffman tables fitted to the picture
    bool progressive = false;
    std::vector<Scan> script;  // progressive: these scans instead of libjpeg's usual ones
    bool arithmetic = false;
};

// The picture written as a JPEG in `layout`; empty when libjpeg refuses.
Bytes Encode(const Picture& picture, const Layout& layout);

// A YCbCr JPEG written from quantised coefficients as given (the luma sampled
// `lumaSide` x `lumaSide` times as often as the chroma; a scan per component
// when an MCU would hold more than 10 blocks), with quantisation tables as
// given (16-bit values allowed): values no encoder of pixels would make.
// Blocks are row by row in each component, coefficients in natural order;
// those not given are zero.
struct CoefficientPhoto {
    int lumaSide = 2;
    int mcusWide = 1, mcusHigh = 1;
    std::array<std::uint16_t, 64> lumaQuant{}, chromaQuant{};
    std::array<std::vector<std::array<std::int16_t, 64>>, 3> blocks;
};
Bytes EncodeCoefficients(const CoefficientPhoto& photo);

// A mid-grey progressive JPEG of any size up to 65535 x 65535, put together
// marker by marker (libjpeg would keep every coefficient of the picture to
// write it): each block's DC coded in one bit, 8 blocks a byte, and, with
// `withAc`, an AC scan of runs of 32767 empty blocks.
Bytes FlatProgressiveGrey(int width, int height, bool withAc);

// libjpeg's decode at an eighth of the size per side, as RGB. `ok` is false
// when libjpeg gives up on the file.
struct Decoded {
    bool ok = false;
    Picture picture;
};
Decoded DecodeEighth(std::span<const std::uint8_t> jpeg);

// What libjpeg's full decoder keeps of the coefficients while it decodes the
// file (the whole image's, as its coefficient controller allocates them, when
// it has several scans; else 0), from libjpeg's own reading of the header.
// Nothing when libjpeg cannot read the header.
std::optional<std::uint64_t> KeptCoefficientBytes(std::span<const std::uint8_t> jpeg);

// The APPn and COM segments libjpeg reads before the first scan, in order: the
// marker and the payload it saves. Nothing when libjpeg cannot read the
// header.
struct SavedSegment {
    int marker = 0;
    Bytes payload;
    bool operator==(const SavedSegment&) const = default;
};
std::optional<std::vector<SavedSegment>> SegmentsBeforeScan(std::span<const std::uint8_t> jpeg);

// The positions of the markers with this code, in order (0xFF before the code).
std::vector<std::size_t> FindMarkers(std::span<const std::uint8_t> jpeg, std::uint8_t code);

bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace jpegtest
