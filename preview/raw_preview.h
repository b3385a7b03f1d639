// Camera raw files through LibRaw, opened and identified only: the size of
// the image a raw development gives, upright; the camera's orientation; and
// the largest preview the camera embedded (a JPEG, or an 8-bit bitmap). The
// raw data itself is never unpacked or developed. LibRaw reads the file
// through the descriptor it is given, never by path. Plain C++ (no Qt).
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace preview {

enum class RawSignature {
    None,       // no raw container starts like this
    TiffBased,  // a TIFF header: a raw file (DNG, CR2, NEF, ARW ...) or a plain TIFF
    Raw,        // a container only raw files use (CR3, RAF, ORF, RW2 ...)
};

// What the first bytes of a file (16 or more) say it may be.
RawSignature RawSignatureOf(std::span<const std::uint8_t> head);

struct RawPreview {
    enum class Kind { Jpeg, Bitmap };
    Kind kind = Kind::Jpeg;
    // As stored, before the orientation: the bitmap's size; for a JPEG the
    // size the raw file states, which its own header may contradict.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // A JPEG file, or rows of 8-bit samples, `channels` per pixel (1 or 3),
    // without padding; held by the photo.
    std::span<const std::uint8_t> bytes;
    int channels = 3;
};

struct RawPhoto {
    // The developed image's size, upright, as LibRaw identifies it.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The camera's orientation of the image as an Exif orientation (1-8);
    // the preview is stored unturned, like the raw data.
    int orientation = 1;
    RawPreview preview;
    // What holds the preview's bytes: LibRaw's own buffer, read once and not
    // copied (a fresh copy of a megabyte costs more than decoding it small).
    std::shared_ptr<const void> storage;
};

// Why a file gave no raw photo.
enum class RawFailure {
    None,
    NotRaw,     // LibRaw does not take it for a raw photo
    Broken,     // its preview lies outside the file or cannot be read
    NoPreview,  // no preview, or none of a kind that can be shown
    TooLarge,   // the preview would take more than the bytes allowed
};

// Opens the file open at `descriptor` (a regular file) with LibRaw and reads
// its largest embedded preview, through a duplicate of the descriptor at
// positions of its own, so the caller may close its own. Nothing (and the
// reason in `failure`) when LibRaw does not take the file for a raw photo,
// or when the photo has no preview of a kind that can be shown, or one that
// would take more than `maxBytes` (or more bytes than the file has).
std::unique_ptr<RawPhoto> OpenRawPhoto(int descriptor, std::uint64_t maxBytes,
                                       RawFailure* failure = nullptr);

// LibRaw's flip code (dcraw's: bit 0 mirrors, bit 1 flips, bit 2 swaps the
// axes; 3 and 5 and 6 the rotations) as an Exif orientation; 1 for a code
// outside 0-7.
int OrientationFromFlip(int flip);

}  // namespace preview
