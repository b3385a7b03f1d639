// IPTC records as Photoshop keeps them in a JPEG: among its image resources
// ("8BIM" blocks in APP13), resource 0x0404 holds the IPTC-IIM records.
#pragma once

#include "reader/byte_view.h"

#include <cstdint>
#include <vector>

namespace reader {

// The IPTC-IIM bytes of the first resource 0x0404, or nothing.
std::vector<std::uint8_t> IptcOfPhotoshopResources(const ByteView& resources);

}  // namespace reader
