// Small files that cost a decoder far more than their bytes, built in code:
// HEIF images made of many images (a grid of thousands of tiles, an overlay
// claiming a huge canvas), assembled box by box around one tile that
// libheif's encoder coded, and a TIFF whose single deflated strip unpacks
// to the whole picture. Used by the tests and the benchmarks of the
// decoders' budgets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One coded picture of a HEIC file: its decoder configuration (the whole
// hvcC property box) and its data.
struct CodedTile {
    std::vector<std::uint8_t> configuration;
    std::vector<std::uint8_t> data;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// A width x height tile of one colour, coded by libheif's HEVC encoder;
// empty (no data) when it could not be written.
CodedTile CodeTile(std::uint32_t width, std::uint32_t height, std::uint8_t red, std::uint8_t green,
                   std::uint8_t blue, const std::string& scratchFolder);

// A HEIC whose primary image is a grid of rows x columns of `tiles` (taken in
// turn, so that a grid can show where each tile went) on a canvas of
// canvasWidth x canvasHeight; every tile item of one tile shares its data.
// With a thumbnail of the grid when one is given.
std::vector<std::uint8_t> HeifGrid(const std::vector<CodedTile>& tiles, std::uint32_t rows,
                                   std::uint32_t columns, std::uint32_t canvasWidth,
                                   std::uint32_t canvasHeight,
                                   const CodedTile* thumbnail = nullptr);

// A HEIC whose primary image is an overlay: `tile` at the top left of a
// canvas of canvasWidth x canvasHeight.
std::vector<std::uint8_t> HeifOverlay(const CodedTile& tile, std::uint32_t canvasWidth,
                                      std::uint32_t canvasHeight);

// An RGB TIFF of width x height grey pixels, deflated, in strips of
// rowsPerStrip rows: a few hundred kilobytes that unpack to width x height
// x 3 bytes.
std::vector<std::uint8_t> DeflatedTiff(std::uint32_t width, std::uint32_t height,
                                       std::uint32_t rowsPerStrip);

}  // namespace testsupport
