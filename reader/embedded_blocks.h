// The metadata blocks a photo carries beside its Exif: the XMP packet (and
// the pieces of an extended one), the IPTC records and the colour profile.
// The container walks find them; each is kept within a cap, so that a file
// claiming megabytes of them costs no more than the cap.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace reader {

// A packet of a few kilobytes is usual; Lightroom's with a long history, tens.
inline constexpr std::uint32_t kMaxXmpBytes = 1u << 20;
// Extended XMP (a JPEG's way past 64 KiB) holds depth maps and the like,
// megabytes that no row reads: what lies past this is left out.
inline constexpr std::uint32_t kMaxExtendedXmpBytes = 2u << 20;
inline constexpr std::uint32_t kMaxIptcBytes = 256u << 10;
// Display and camera profiles are a few kilobytes, printer profiles a few
// megabytes.
inline constexpr std::uint32_t kMaxIccBytes = 4u << 20;

// One APP1 segment of extended XMP: its part of the whole, which the main
// packet names by the GUID.
struct ExtendedXmpPart {
    std::array<std::uint8_t, 32> guid{};  // ASCII hex digits
    std::uint32_t fullLength = 0;
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

struct EmbeddedBlocks {
    std::vector<std::uint8_t> xmp;
    std::vector<ExtendedXmpPart> extendedXmp;
    std::vector<std::uint8_t> iptc;  // IPTC-IIM records (0x1C ...)
    std::vector<std::uint8_t> icc;
    // A HEIF or AVIF image's colour primaries when it gives them as numbers
    // (an nclx colour box) instead of a profile.
    std::optional<std::uint16_t> colourPrimaries;
};

// The extended XMP with this GUID put together, when its parts cover it
// whole; empty otherwise.
std::vector<std::uint8_t> JoinExtendedXmp(const std::vector<ExtendedXmpPart>& parts,
                                          const std::array<std::uint8_t, 32>& guid);

}  // namespace reader
