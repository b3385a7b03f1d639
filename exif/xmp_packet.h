// The properties of an XMP packet that the extra rows read, parsed with
// expat. A packet is hostile like every other block: its cost is capped by
// depth, by the number of values and by their size, and a packet that
// declares a document type (the door to entity expansion) is not read on.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace exif {

// Caps of one packet.
inline constexpr int kMaxXmpDepth = 32;
inline constexpr std::size_t kMaxXmpValues = 4096;
inline constexpr std::size_t kMaxXmpValueBytes = 64u << 10;

class XmpProperties {
public:
    // The values of a property named "prefix:name" with the usual prefixes
    // ("dc:subject", "aux:LensInfo"): one for a simple property, the items
    // of an array in order, a language alternative's default text first.
    // Empty when the packet does not have it or the property is not one
    // that is read.
    const std::vector<std::string>& Values(std::string_view property) const;

    // Adds the values of `other` for the properties that this one lacks.
    void Complete(const XmpProperties& other);

    bool Empty() const;

private:
    friend XmpProperties ParseXmp(std::span<const std::uint8_t> packet);
    std::vector<std::vector<std::string>>
        values_;  // by property, in the order of the property table
};

// The properties read from the packet (which may be cut or broken: what
// came before the fault counts).
XmpProperties ParseXmp(std::span<const std::uint8_t> packet);

}  // namespace exif
