// The few values the extra rows take from a camera's maker note: the lens
// and the shutter count. Each maker lays its note out as a TIFF directory
// with a header and an offset base of its own; every offset is checked
// through the byte view against the note's bytes, so a value outside the
// note is simply not there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace reader {
class PropertyImage;
}

namespace exif {

struct MakerNoteValues {
    std::string lens;  // the lens as the maker names it, or its focal (and aperture) range
    std::optional<std::uint32_t> shutterCount;
};

// Canon (lens model 0x0095, else the focal range of the camera settings),
// Olympus and OM System (lens model 0x0203 of the equipment directory),
// Panasonic (lens type 0x0051) and Nikon (lens range 0x0084, shutter count
// 0x00A7); nothing for other makers.
MakerNoteValues ReadMakerNote(const reader::PropertyImage& image);

}  // namespace exif
