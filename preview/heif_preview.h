// HEIF and AVIF photos through libheif: the primary image's size as it is
// seen, and its pixels at about the size they are drawn. libheif applies the
// file's own transformations (rotation, mirroring, cropping) while decoding,
// so sizes and pixels come upright; the Exif orientation such a file may also
// carry describes the same turn and is not applied again. Plain C++ (no Qt).
#pragma once

#include "preview/box_shrink.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct heif_context;
struct heif_image_handle;

namespace preview {

// Whether a file starting with `head` (its first bytes; 12 or more) is a HEIF
// or AVIF file that libheif reads.
bool IsHeif(std::span<const std::uint8_t> head);

struct HeifPicture {
    enum class Result {
        Decoded,
        TooLarge,  // its decode would take more than the allowed bytes
        Broken,    // libheif could not decode it
    };
    Result result = Result::Broken;
    bool fromThumbnail = false;
    ShrunkPicture picture;
};

class HeifPhoto {
public:
    // Images with a side above this are refused by libheif itself.
    static constexpr int kMaxSide = 32768;

    // Nullptr when libheif cannot read the file or it has no primary image.
    static std::unique_ptr<HeifPhoto> Open(const std::string& path);
    ~HeifPhoto();
    HeifPhoto(const HeifPhoto&) = delete;
    HeifPhoto& operator=(const HeifPhoto&) = delete;

    // The primary image's size, upright.
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

    // The primary image shrunk by whole factors to no less than
    // minWidth x minHeight. When the file carries a thumbnail of the primary
    // image at least that large and of the same aspect, the smallest such
    // thumbnail is decoded instead of the photo. TooLarge when the decoded
    // picture would take more than `maxBytes`.
    HeifPicture Decode(std::uint32_t minWidth, std::uint32_t minHeight, std::uint64_t maxBytes) const;

private:
    HeifPhoto() = default;
    // The thumbnail to decode instead of the primary image, or nullptr.
    heif_image_handle* ThumbnailFor(std::uint32_t minWidth, std::uint32_t minHeight) const;

    heif_context* context_ = nullptr;
    heif_image_handle* primary_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

// Whether a thumbnail of thumbWidth x thumbHeight pictures a photo of
// width x height whole, allowing for the rounding of its sides to pixels
// (within one pixel each).
bool SameAspect(std::uint32_t thumbWidth, std::uint32_t thumbHeight, std::uint32_t width,
                std::uint32_t height);

}  // namespace preview
