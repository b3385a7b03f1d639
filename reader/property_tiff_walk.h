// Lists the property items of a TIFF block: which directories are read, in
// which order, how the thumbnail tags are numbered, and which entries are
// safe to hand out.
#pragma once

#include "reader/property_containers.h"
#include "reader/property_items.h"

#include <cstdint>
#include <vector>

namespace reader {

// Appends the items of the block to `items`. Reads only the directories and
// never a value; the values stay in the source until they are asked for.
void ListTiffItems(const ByteSource& source, const TiffBlock& block,
                   std::vector<PropertyImage::ItemLocation>& items);

// Bytes per element of a value type; 0 for a type code this reader does not know.
std::uint32_t PropertyElementSize(std::uint16_t type);

// The size of the units that swap when a big-endian value is made
// little-endian: a rational swaps as two 4-byte words.
std::uint32_t PropertySwapUnit(std::uint16_t type);

}  // namespace reader
