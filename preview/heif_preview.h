// HEIF and AVIF photos through libheif: the primary image's size as it is
// seen, and its pixels at about the size they are drawn. libheif applies the
// file's own transformations (rotation, mirroring, cropping) while decoding,
// so sizes and pixels come upright; the Exif orientation such a file may also
// carry describes the same turn and is not applied again. libheif reads the
// file through the descriptor it is given, never by path. Plain C++ (no Qt).
#pragma once

#include "preview/box_shrink.h"
#include "preview/heif_layout.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct heif_context;
struct heif_image_handle;

namespace preview {

// Whether a file starting with `head` (its first bytes; 12 or more) is a HEIF
// or AVIF file that libheif reads.
bool IsHeif(std::span<const std::uint8_t> head);

struct HeifPicture {
    enum class Result {
        Decoded,
        TooLarge,     // its decode would take more than the allowed bytes or coded images
        Broken,       // libheif could not decode it
        Unsupported,  // coded in a way no decoder of libheif's here reads
    };
    Result result = Result::Broken;
    bool fromThumbnail = false;
    ShrunkPicture picture;
};

class HeifPhoto {
public:
    // Images with a side above this are refused by libheif itself.
    static constexpr int kMaxSide = 32768;
    // Files listing more items than this are not handed to libheif (an
    // iPhone's 48-megapixel photo lists about 200: its tiles and a few more).
    static constexpr std::size_t kMaxItems = 1024;

    // The file open at `descriptor` (a regular file), read at positions of
    // its own through a duplicate of the descriptor, so the caller may close
    // its own. Nullptr when libheif cannot read the file or it has no
    // primary image. A file of more than kMaxItems items is opened from its
    // boxes alone, its size known and every decode refused (TooLarge).
    static std::unique_ptr<HeifPhoto> Open(int descriptor);
    ~HeifPhoto();
    HeifPhoto(const HeifPhoto&) = delete;
    HeifPhoto& operator=(const HeifPhoto&) = delete;

    // The primary image's size, upright.
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

    // What a decode may cost: the bytes libheif holds at once (the decoded
    // planes of the image and of what it is made of, and the RGB rows
    // converted from them), and the coded images its codec decodes (a grid's
    // tiles), each counted from the file's boxes before anything is decoded.
    struct Budget {
        std::uint64_t bytes = 0;
        std::uint64_t codedImages = 0;
    };

    // The primary image shrunk by whole factors to no less than
    // minWidth x minHeight. When the file carries a thumbnail of the primary
    // image at least that large and of the same aspect, the smallest such
    // thumbnail is decoded instead of the photo; when the photo is over the
    // budget, the largest thumbnail within it, however small. TooLarge when
    // there is none.
    HeifPicture Decode(std::uint32_t minWidth, std::uint32_t minHeight, const Budget& budget) const;

private:
    HeifPhoto() = default;
    struct Thumbnail;
    // The smallest thumbnail at least minWidth x minHeight, or the largest
    // of any size (minimum 0 x 0 and `largest`), of the photo's aspect.
    Thumbnail ThumbnailFor(std::uint32_t minWidth, std::uint32_t minHeight, bool largest,
                           const Budget& budget) const;
    // Whether decoding item `id` (of `handle`) stays within the budget.
    bool Affordable(std::uint32_t id, const heif_image_handle* handle, const Budget& budget) const;

    // What libheif reads through; it must stay where it is while the
    // context lives.
    struct Reading {
        int descriptor = -1;
        std::int64_t size = 0;
        std::int64_t position = 0;
    };
    Reading reading_;
    heif_context* context_ = nullptr;
    heif_image_handle* primary_ = nullptr;
    std::uint32_t primaryId_ = 0;
    HeifLayout layout_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    // Too many items for libheif to read: every decode is refused.
    bool refused_ = false;
};

// Whether a thumbnail of thumbWidth x thumbHeight pictures a photo of
// width x height whole, allowing for the rounding of its sides to pixels
// (within one pixel each).
bool SameAspect(std::uint32_t thumbWidth, std::uint32_t thumbHeight, std::uint32_t width,
                std::uint32_t height);

}  // namespace preview
