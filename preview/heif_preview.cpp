#include "preview/heif_preview.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace preview {
namespace {

struct ImageHandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
using ImageHandle = std::unique_ptr<heif_image_handle, ImageHandleRelease>;

struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
using Image = std::unique_ptr<heif_image, ImageRelease>;

struct OptionsRelease {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// The brands of the still-image files libheif decodes: HEVC (heic, heix),
// AV1 (avif) and the general image brand they list beside their own.
constexpr const char* kStillImageBrands[] = {"heic", "heix", "avif", "mif1"};

std::uint32_t Side(int side) { return side > 0 ? static_cast<std::uint32_t>(side) : 0; }

}  // namespace

bool IsHeif(std::span<const std::uint8_t> head) {
    if (head.size() < 12 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
    const int length = static_cast<int>(std::min<std::size_t>(head.size(), 1 << 16));
    const heif_brand2 main = heif_read_main_brand(head.data(), length);
    return std::any_of(std::begin(kStillImageBrands), std::end(kStillImageBrands), [&](const char* brand) {
        return main == heif_fourcc_to_brand(brand) || heif_has_compatible_brand(head.data(), length, brand);
    });
}

bool SameAspect(std::uint32_t thumbWidth, std::uint32_t thumbHeight, std::uint32_t width,
                std::uint32_t height) {
    if (!thumbWidth || !thumbHeight || !width || !height) return false;
    // Each side of the thumbnail is within a pixel of one scale of the photo:
    // |tw/w - th/h| <= 1/w + 1/h, in whole numbers. Cameras and phones round
    // a side down as often as to the nearest pixel (320 x 212 for 212.9).
    const std::uint64_t across = std::uint64_t{thumbWidth} * height;
    const std::uint64_t down = std::uint64_t{thumbHeight} * width;
    const std::uint64_t difference = across > down ? across - down : down - across;
    return difference <= std::uint64_t{width} + height;
}

std::unique_ptr<HeifPhoto> HeifPhoto::Open(const std::string& path) {
    std::unique_ptr<HeifPhoto> photo(new HeifPhoto);
    photo->context_ = heif_context_alloc();
    if (!photo->context_) return nullptr;
    heif_context_set_maximum_image_size_limit(photo->context_, kMaxSide);
    if (heif_context_read_from_file(photo->context_, path.c_str(), nullptr).code != heif_error_Ok)
        return nullptr;
    if (heif_context_get_primary_image_handle(photo->context_, &photo->primary_).code != heif_error_Ok ||
        !photo->primary_)
        return nullptr;
    photo->width_ = Side(heif_image_handle_get_width(photo->primary_));
    photo->height_ = Side(heif_image_handle_get_height(photo->primary_));
    if (!photo->width_ || !photo->height_) return nullptr;
    return photo;
}

HeifPhoto::~HeifPhoto() {
    if (primary_) heif_image_handle_release(primary_);
    if (context_) heif_context_free(context_);
}

heif_image_handle* HeifPhoto::ThumbnailFor(std::uint32_t minWidth, std::uint32_t minHeight) const {
    const int count = heif_image_handle_get_number_of_thumbnails(primary_);
    if (count <= 0) return nullptr;
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), count);
    ImageHandle best;
    std::uint64_t bestArea = 0;
    for (int i = 0; i < std::min(listed, count); ++i) {
        heif_image_handle* handle = nullptr;
        if (heif_image_handle_get_thumbnail(primary_, ids[static_cast<std::size_t>(i)], &handle).code !=
                heif_error_Ok ||
            !handle)
            continue;
        ImageHandle thumbnail(handle);
        const std::uint32_t width = Side(heif_image_handle_get_width(handle));
        const std::uint32_t height = Side(heif_image_handle_get_height(handle));
        const std::uint64_t area = std::uint64_t{width} * height;
        if (width < minWidth || height < minHeight || !SameAspect(width, height, width_, height_)) continue;
        if (best && area >= bestArea) continue;
        best = std::move(thumbnail);
        bestArea = area;
    }
    return best.release();
}

namespace {

// One image of the file (the primary image or a thumbnail), decoded and
// shrunk.
HeifPicture DecodeShrunk(const heif_image_handle* source, std::uint32_t minWidth, std::uint32_t minHeight,
                         std::uint64_t maxBytes) {
    HeifPicture out;
    const bool alpha = heif_image_handle_has_alpha_channel(source) != 0;
    // The decoded RGB(A) rows are the largest buffer; libheif's own planes
    // before the colour conversion take half of that (4:2:0) or as much.
    const std::uint64_t bytes = std::uint64_t{Side(heif_image_handle_get_width(source))} *
                                Side(heif_image_handle_get_height(source)) * (alpha ? 4 : 3);
    if (bytes > maxBytes) {
        out.result = HeifPicture::Result::TooLarge;
        return out;
    }

    const std::unique_ptr<heif_decoding_options, OptionsRelease> options(heif_decoding_options_alloc());
    if (!options) return out;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error =
        heif_decode_image(source, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    const Image image(decoded);
    if (error.code != heif_error_Ok || !image) return out;

    InterleavedRows rows;
    int stride = 0;
    rows.data = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    rows.stride = stride > 0 ? static_cast<std::size_t>(stride) : 0;
    rows.width = Side(heif_image_get_width(image.get(), heif_channel_interleaved));
    rows.height = Side(heif_image_get_height(image.get(), heif_channel_interleaved));
    rows.alpha = alpha;
    if (!rows.data || rows.stride < std::size_t{rows.width} * (alpha ? 4 : 3)) return out;
    out.picture = ShrinkByWholeFactors(rows, minWidth, minHeight);
    if (!out.picture.pixels.empty()) out.result = HeifPicture::Result::Decoded;
    return out;
}

}  // namespace

HeifPicture HeifPhoto::Decode(std::uint32_t minWidth, std::uint32_t minHeight, std::uint64_t maxBytes) const {
    if (const ImageHandle thumbnail{ThumbnailFor(minWidth, minHeight)}) {
        HeifPicture out = DecodeShrunk(thumbnail.get(), minWidth, minHeight, maxBytes);
        out.fromThumbnail = true;
        // A thumbnail that cannot be decoded still leaves the photo.
        if (out.result == HeifPicture::Result::Decoded) return out;
    }
    return DecodeShrunk(primary_, minWidth, minHeight, maxBytes);
}

}  // namespace preview
