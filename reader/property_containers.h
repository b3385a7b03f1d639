// Recognising a photo's container and finding the TIFF blocks (the Exif
// metadata) inside it.
#pragma once

#include "reader/byte_view.h"
#include "reader/embedded_blocks.h"
#include "reader/property_items.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace reader {

// What the first directory of a TIFF block is. Most photos keep one TIFF
// block whose IFD0 leads to the Exif and GPS directories and the thumbnail's
// IFD1; Canon's CR3 keeps IFD0, the Exif and the GPS directory each as the
// only directory of a block of its own.
enum class TiffRole { Whole, Ifd0, Exif, Gps };

// Where a TIFF block lies in the source. `size` is cut to the end of the
// source when the file is shorter than its container claims, so a truncated
// photo still yields what it holds.
struct TiffBlock {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    TiffRole role = TiffRole::Whole;
    // Raw files whose header has a magic number of its own instead of 42
    // (Olympus ORF, Panasonic RW2).
    bool rawHeader = false;
    // IFD0 entries with lower tag numbers are not listed: Panasonic keeps its
    // raw tags there, where TIFF defines none, and their numbers are the GPS
    // tags' numbers.
    std::uint16_t firstIfd0Tag = 0;
};

struct ContainerScan {
    PhotoFormat format = PhotoFormat::Unknown;
    std::vector<TiffBlock> blocks;  // in listing order; none: the photo carries no Exif
    // The blocks are the file itself (TIFF and its raw kin): directories and
    // values are read where they lie instead of in one go.
    bool inPlace = false;
    // Set when the Exif bytes had to be put together (an Exif item in several
    // pieces, a hex-coded text chunk): the blocks' offsets are into these
    // bytes, not into the source.
    std::optional<std::vector<std::uint8_t>> assembled;
    // The bytes of the source at `copyOffset` that the walk read already and
    // that hold the blocks: item values are read from them.
    std::vector<std::uint8_t> copy;
    std::uint64_t copyOffset = 0;
    EmbeddedBlocks embedded;
};

ContainerScan ScanContainer(const ByteSource& source);

// The marker segments of a JPEG before its image data (or, `throughScans`,
// up to the end of the image), as libjpeg reads them (passing over bytes
// between segments), counted up to one past `limit`; 0 when the source is
// not a JPEG. A walk that gives up after kMaxHeaders markers, fill and stray
// bytes counts as one past `limit`. For a decoder whose cost grows faster
// than the count (libjpeg keeps the segments it saves in a list it walks to
// the end for each new one).
std::uint64_t CountJpegSegments(const ByteSource& source, std::uint64_t limit,
                                bool throughScans = false);

// Shared by the container walks.

// The most headers (segments, chunks, boxes) one walk looks at. A real photo
// has tens, or a few thousand where a PNG keeps its image data in small
// chunks; a walk past this many is a crafted file, not a photo.
inline constexpr std::uint64_t kMaxHeaders = 1'000'000;

// A block that starts at `offset` and claims `length` bytes, cut to the source.
TiffBlock BlockAt(std::uint64_t offset, std::uint64_t length, std::uint64_t sourceSize);

// Whether the bytes begin with a TIFF header ("II*\0" or "MM\0*").
bool StartsWithTiffHeader(const ByteView& bytes);

}  // namespace reader
