// Recognising a photo's container and finding the TIFF block (the Exif
// metadata) inside it.
#pragma once

#include "reader/property_items.h"

#include <cstdint>
#include <optional>

namespace reader {

// Where the TIFF block lies in the source. `size` is cut to the end of the
// source when the file is shorter than its container claims, so a truncated
// photo still yields what it holds.
struct TiffBlock {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct ContainerScan {
    PhotoFormat format = PhotoFormat::Unknown;
    std::optional<TiffBlock> block;  // none: the photo carries no Exif block
};

ContainerScan ScanContainer(const ByteSource& source);

// The most headers (segments, chunks) one walk looks at. A real photo has
// tens, or a few thousand where a PNG keeps its image data in small chunks;
// a walk past this many is a crafted file, not a photo.
inline constexpr std::uint64_t kMaxHeaders = 1'000'000;

}  // namespace reader
