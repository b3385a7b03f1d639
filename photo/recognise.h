// What kind of photo a file is, from its first bytes: the one place that
// decides which decoder a file goes to.
#pragma once

#include "photo/problem.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace photo {

class PhotoFile;

enum class Format {
    Jpeg,
    Png,
    Gif,
    Bmp,
    Tiff,
    WebP,
    Ico,
    Heif,  // HEIF and AVIF
    Raw,   // camera raw files
};

struct Recognition {
    enum class Verdict {
        Ok,           // `format` says which decoder reads it
        Unsupported,  // readable, but not a kind of photo the viewer shows
        Failed,       // its first bytes could not be read
    };
    Verdict verdict = Verdict::Failed;
    Format format = Format::Jpeg;
    // A TIFF header starts plain TIFFs and most camera raw files (DNG, CR2,
    // NEF, ARW ...) alike; only the raw decoder can tell them apart, so such
    // a file is offered to it first.
    bool mayBeRaw = false;
    Problem problem = Problem::None;  // for anything but Ok
};

// Enough for every signature, a HEIF file's brands included.
inline constexpr std::size_t kRecogniseBytes = 256;

Recognition recognise(std::span<const std::uint8_t> head);
// Reads the file's first bytes and recognises them.
Recognition recognise(const PhotoFile& file);

}  // namespace photo
