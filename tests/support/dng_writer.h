// Small DNG files that LibRaw opens as camera raw photos: 16-bit colour
// filter array data in IFD0 and the camera's preview in IFD1 (a JPEG, or
// uncompressed RGB rows), built in code on the TIFF builder.
#pragma once

#include "tiff_builder.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace testsupport {

struct DngSpec {
    enum class Preview { None, Jpeg, Bitmap };

    bool bigEndian = false;
    // The raw data, one 16-bit sample a pixel.
    std::uint16_t width = 120;
    std::uint16_t height = 80;
    int orientation = 1;  // IFD0's Orientation item; 0 writes none
    Preview preview = Preview::Jpeg;
    // A JPEG file, or RGB rows of previewWidth x previewHeight.
    std::vector<std::uint8_t> previewBytes;
    // As IFD1 states them.
    std::uint32_t previewWidth = 0;
    std::uint32_t previewHeight = 0;
    // Written as the preview's byte count instead of its real length.
    std::optional<std::uint32_t> previewLengthOverride;
    std::optional<Ifd> exif;
};

// The file; `dataOffset`, when given, receives where the raw data begins:
// everything before it is the header and the directories.
std::vector<std::uint8_t> Dng(const DngSpec& spec, std::uint32_t* dataOffset = nullptr);

}  // namespace testsupport
