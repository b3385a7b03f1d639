#include "preview/heif_preview.h"

#include <libheif/heif.h>

#include <optional>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// libheif's reader over a descriptor: reads at a position of its own, so
// nothing else reading the file moves it. (A template only so that the
// photo's private reading state need not be named here.)
template <typename Reading>
struct DescriptorReader {
    static Reading& Of(void* userdata) { return *static_cast<Reading*>(userdata); }

    static std::int64_t Position(void* userdata) { return Of(userdata).position; }

    static int Read(void* data, std::size_t size, void* userdata) {
        Reading& reading = Of(userdata);
        auto* out = static_cast<std::uint8_t*>(data);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n =
                ::pread(reading.descriptor, out + done, size - done,
                        static_cast<off_t>(reading.position) + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return 1;
            done += static_cast<std::size_t>(n);
        }
        reading.position += static_cast<std::int64_t>(size);
        return 0;
    }

    static int Seek(std::int64_t position, void* userdata) {
        Reading& reading = Of(userdata);
        if (position < 0 || position > reading.size) return 1;
        reading.position = position;
        return 0;
    }

    static heif_reader_grow_status WaitForFileSize(std::int64_t target, void* userdata) {
        return target > Of(userdata).size ? heif_reader_grow_status_size_beyond_eof
                                          : heif_reader_grow_status_size_reached;
    }

    static const heif_reader kReader;
};

template <typename Reading>
const heif_reader DescriptorReader<Reading>::kReader = {1, &Position, &Read, &Seek,
                                                        &WaitForFileSize};

bool Unsupported(const heif_error& error) {
    return error.code == heif_error_Unsupported_feature ||
           error.code == heif_error_Unsupported_filetype;
}

}  // namespace

bool IsHeif(std::span<const std::uint8_t> head) {
    if (head.size() < 12 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
    const int length = static_cast<int>(std::min<std::size_t>(head.size(), 1 << 16));
    const heif_brand2 main = heif_read_main_brand(head.data(), length);
    return std::any_of(std::begin(kStillImageBrands), std::end(kStillImageBrands),
                       [&](const char* brand) {
                           return main == heif_fourcc_to_brand(brand) ||
                                  heif_has_compatible_brand(head.data(), length, brand);
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

std::unique_ptr<HeifPhoto> HeifPhoto::Open(int descriptor) {
    std::unique_ptr<HeifPhoto> photo(new HeifPhoto);
    photo->reading_.descriptor = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    struct stat info {};
    if (photo->reading_.descriptor < 0 || ::fstat(photo->reading_.descriptor, &info) != 0 ||
        !S_ISREG(info.st_mode))
        return nullptr;
    photo->reading_.size = info.st_size;
    photo->layout_ =
        HeifLayout::Read(photo->reading_.descriptor, static_cast<std::uint64_t>(info.st_size));
    if (photo->layout_.ItemCount() > kMaxItems) {
        // Not for libheif, whose reading of the boxes alone takes time that
        // grows with the square of the items: a minute for a grid of 20,000
        // tiles. Refused whatever is asked; its size is what its boxes say.
        const std::optional<std::uint32_t> primary = photo->layout_.Primary();
        if (!primary) return nullptr;
        const auto [width, height] = photo->layout_.SizeOf(*primary);
        if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
        photo->width_ = static_cast<std::uint32_t>(width);
        photo->height_ = static_cast<std::uint32_t>(height);
        photo->refused_ = true;
        return photo;
    }
    photo->context_ = heif_context_alloc();
    if (!photo->context_) return nullptr;
    heif_context_set_maximum_image_size_limit(photo->context_, kMaxSide);
    if (heif_context_read_from_reader(photo->context_, &DescriptorReader<Reading>::kReader,
                                      &photo->reading_, nullptr)
            .code != heif_error_Ok)
        return nullptr;
    if (heif_context_get_primary_image_handle(photo->context_, &photo->primary_).code !=
            heif_error_Ok ||
        !photo->primary_ ||
        heif_context_get_primary_image_ID(photo->context_, &photo->primaryId_).code !=
            heif_error_Ok)
        return nullptr;
    photo->width_ = Side(heif_image_handle_get_width(photo->primary_));
    photo->height_ = Side(heif_image_handle_get_height(photo->primary_));
    if (!photo->width_ || !photo->height_) return nullptr;
    return photo;
}

HeifPhoto::~HeifPhoto() {
    if (primary_) heif_image_handle_release(primary_);
    if (context_) heif_context_free(context_);
    if (reading_.descriptor >= 0) ::close(reading_.descriptor);
}

struct HeifPhoto::Thumbnail {
    ImageHandle handle;
    heif_item_id id = 0;
};

bool HeifPhoto::Affordable(std::uint32_t id, const heif_image_handle* handle,
                           const Budget& budget) const {
    const std::optional<HeifImageCost> cost = layout_.CostOf(id);
    if (!cost || cost->codedImages > budget.codedImages || cost->planeBytes > budget.bytes)
        return false;
    // The RGB(A) rows the planes are converted into come on top. libheif's
    // answer to whether an image has alpha walks its items once per tile (a
    // grid of 20,000 tiles takes minutes): asked only when it decides.
    const std::uint64_t pixels = std::uint64_t{Side(heif_image_handle_get_width(handle))} *
                                 Side(heif_image_handle_get_height(handle));
    const std::uint64_t room = budget.bytes - cost->planeBytes;
    if (pixels * 3 > room) return false;
    return pixels * 4 <= room || heif_image_handle_has_alpha_channel(handle) == 0;
}

HeifPhoto::Thumbnail HeifPhoto::ThumbnailFor(std::uint32_t minWidth, std::uint32_t minHeight,
                                             bool largest, const Budget& budget) const {
    Thumbnail best;
    const int count = heif_image_handle_get_number_of_thumbnails(primary_);
    if (count <= 0) return best;
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), count);
    std::uint64_t bestArea = 0;
    for (int i = 0; i < std::min(listed, count); ++i) {
        const heif_item_id id = ids[static_cast<std::size_t>(i)];
        heif_image_handle* handle = nullptr;
        if (heif_image_handle_get_thumbnail(primary_, id, &handle).code != heif_error_Ok || !handle)
            continue;
        ImageHandle thumbnail(handle);
        const std::uint32_t width = Side(heif_image_handle_get_width(handle));
        const std::uint32_t height = Side(heif_image_handle_get_height(handle));
        const std::uint64_t area = std::uint64_t{width} * height;
        if (width < minWidth || height < minHeight || !SameAspect(width, height, width_, height_))
            continue;
        if (best.handle && (largest ? area <= bestArea : area >= bestArea)) continue;
        if (largest && !Affordable(id, handle, budget)) continue;
        best.handle = std::move(thumbnail);
        best.id = id;
        bestArea = area;
    }
    return best;
}

namespace {

// One image of the file (the primary image or a thumbnail), decoded and
// shrunk.
HeifPicture DecodeShrunk(const heif_image_handle* source, std::uint32_t minWidth,
                         std::uint32_t minHeight) {
    HeifPicture out;
    const bool alpha = heif_image_handle_has_alpha_channel(source) != 0;

    const std::unique_ptr<heif_decoding_options, OptionsRelease> options(
        heif_decoding_options_alloc());
    if (!options) return out;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(
        source, &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    const Image image(decoded);
    if (Unsupported(error)) out.result = HeifPicture::Result::Unsupported;
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

HeifPicture HeifPhoto::Decode(std::uint32_t minWidth, std::uint32_t minHeight,
                              const Budget& budget) const {
    if (refused_) {
        HeifPicture refused;
        refused.result = HeifPicture::Result::TooLarge;
        return refused;
    }
    if (const Thumbnail thumbnail = ThumbnailFor(minWidth, minHeight, false, budget);
        thumbnail.handle) {
        if (Affordable(thumbnail.id, thumbnail.handle.get(), budget)) {
            HeifPicture out = DecodeShrunk(thumbnail.handle.get(), minWidth, minHeight);
            out.fromThumbnail = true;
            // A thumbnail that cannot be decoded still leaves the photo.
            if (out.result == HeifPicture::Result::Decoded) return out;
        }
    }
    if (Affordable(primaryId_, primary_, budget))
        return DecodeShrunk(primary_, minWidth, minHeight);
    // Over the budget: a smaller picture of it beats none.
    if (const Thumbnail thumbnail = ThumbnailFor(0, 0, true, budget); thumbnail.handle) {
        HeifPicture out = DecodeShrunk(thumbnail.handle.get(), minWidth, minHeight);
        out.fromThumbnail = true;
        if (out.result == HeifPicture::Result::Decoded) return out;
    }
    HeifPicture refused;
    refused.result = HeifPicture::Result::TooLarge;
    return refused;
}

}  // namespace preview
