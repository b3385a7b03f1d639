// HEIF and AVIF files written with libheif's own encoder API, for what
// heif-enc cannot write: a photo turned by the file's irot and imir boxes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct HeifSpec {
    bool avif = false;  // AV1 (aom) instead of HEVC (x265)
    // The stored picture: RGB rows without padding.
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    // The Exif orientation (1-8) the picture is stored with; libheif writes
    // the boxes that turn it upright.
    int orientation = 1;
    int thumbnailSide = 0;  // the thumbnail's bounding square; 0 for none
    // Instead of a thumbnail made from the picture: this one, however it
    // looks (RGB rows, stored with the same orientation).
    int thumbnailWidth = 0;
    int thumbnailHeight = 0;
    std::vector<std::uint8_t> thumbnailRgb;
    int quality = 90;
};

// Writes the file; the error message, or "" when written.
std::string WriteHeif(const std::string& path, const HeifSpec& spec);

}  // namespace testsupport
