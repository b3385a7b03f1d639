// The file name extensions of the photo types we read. Photos are recognised
// by their content; the name only says what a file was meant to be, so that
// a damaged photo can be told from a file that never was one.
#pragma once

#include <span>
#include <string_view>

namespace reader {

// Lower case, without the dot: "jpg", "heic", ...
std::span<const std::string_view> PhotoExtensions();

// True when the name ends in "." and one of them, in any case.
bool HasPhotoExtension(std::string_view name);

}  // namespace reader
