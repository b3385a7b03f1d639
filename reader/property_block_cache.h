// Keeps one range of a byte source in memory: the Exif block of a JPEG, PNG
// or WebP photo is read in one go, and every directory and value read after
// that comes from memory.
#pragma once

#include "reader/property_items.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace reader {

// Wraps `source` so that reads inside [offset, offset + length) are served
// from one read made now. When that read fails the source is returned as it
// was, and reads go to it as before.
std::unique_ptr<ByteSource> CacheRange(std::unique_ptr<ByteSource> source, std::uint64_t offset,
                                       std::uint64_t length);

// The same with bytes read already: `bytes` are the source's bytes at `offset`.
std::unique_ptr<ByteSource> KeepRange(std::unique_ptr<ByteSource> source, std::uint64_t offset,
                                      std::vector<std::uint8_t> bytes);

}  // namespace reader
