// What opening and decoding one photo may cost. A header can claim any
// size; these bounds are checked against what it claims before a decoder
// is asked for anything, so a hostile file costs what a photo costs.
#pragma once

#include <cstdint>

namespace photo {

// What one decode may hold at once, counted from what the file claims
// before a decoder reads a pixel: the picture decoded and what the decoder
// keeps beside it (a HEIF grid's canvas and the tiles being decoded into
// it, a TIFF strip decoded whole, a progressive JPEG's coefficients). Qt's
// plugins are held to it too. The decoder worker's address-space limit
// leaves room for this and little more.
inline constexpr std::int64_t kDecodeLimitBytes = 96LL * 1024 * 1024;

// The most coded images one HEIF decode may start a codec for: a grid's
// tiles, an overlay's inputs. Each costs its decoder's set-up, whatever its
// size; an iPhone's 48-megapixel photo has 192 tiles of 512 x 512.
inline constexpr std::uint64_t kMaxHeifCodedImages = 256;

// The most pixels one byte of a file can describe: a Huffman-coded JPEG
// spends at least one bit on each 8 x 8 block (512 pixels per byte, with a
// margin here), a PNG at most 1032 raw bytes per deflated byte at 8 pixels
// per byte (1-bit images). A header claiming more (plus a megapixel of
// slack) describes pixels the file cannot hold; decoding it would only cost
// time and memory.
inline constexpr std::int64_t kJpegPixelsPerByte = 1024;
inline constexpr std::int64_t kPngPixelsPerByte = 8320;
inline constexpr std::int64_t kPixelsBeyondDensity = 1 << 20;

// Headers that cost the decoders far more than their bytes, refused before
// they read them. libjpeg keeps the segments it saves in a list that it
// walks to the end for each new one: a hundred thousand empty comments take
// seconds. A photo has tens of segments, a few hundred with a long XMP or ICC
// profile in 64 KiB pieces. libtiff reads every value of the first
// directory, whatever the tag, and copies it, several times while a TIFF is
// opened and drawn (about 30 ms and 2 MiB of memory for each MiB of values
// on a small machine); a photo's values take a few megabytes.
inline constexpr std::uint64_t kMaxJpegSegments = 4096;
inline constexpr std::uint64_t kMaxTiffValueBytes = 64ULL << 20;

// The eighth decoder's buffers may take this many bytes for each byte of
// the file, or the floor, whichever is more, within the decode limit. A
// photo's buffers take no more than a few times its file; only a file of
// flat blocks at a few bits each claims more, and is not worth the memory
// (nor the time to fill it).
inline constexpr std::int64_t kEighthBytesPerFileByte = 16;
inline constexpr std::int64_t kEighthFloorBytes = 32LL << 20;

// How much of a JPEG the frame probe reads when the eighth decoder does not
// need the whole file.
inline constexpr std::int64_t kJpegHeadBytes = 4LL << 20;

}  // namespace photo
