// ISO base media files: HEIF/HEIC and AVIF photos, whose Exif is an item of
// the meta box, and Canon CR3 raw files, whose TIFF blocks lie in boxes of
// Canon's own.
#pragma once

#include "reader/property_containers.h"
#include "reader/property_source_window.h"

namespace reader {

// For a file that begins with an ftyp box: the format its brands name
// (Unknown for other ISO files, such as videos) and the Exif blocks.
void ScanBmff(BufferedWindow& window, ContainerScan& scan);

}  // namespace reader
