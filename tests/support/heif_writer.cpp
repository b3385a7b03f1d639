#include "heif_writer.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace testsupport {
namespace {

struct Release {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
};
template <typename T>
using Owned = std::unique_ptr<T, Release>;

// A heif_image over RGB rows; nullptr with the message on failure.
Owned<heif_image> Picture(int width, int height, const std::vector<std::uint8_t>& rgb,
                          std::string& message) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<std::size_t>(width) * height * 3) {
        message = "the rows do not match the size";
        return nullptr;
    }
    heif_image* raw = nullptr;
    heif_error error =
        heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw);
    Owned<heif_image> image(raw);
    if (error.code == heif_error_Ok)
        error = heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8);
    if (error.code != heif_error_Ok) {
        message = error.message;
        return nullptr;
    }
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(plane + static_cast<std::size_t>(y) * stride, rgb.data() + y * row, row);
    return image;
}

}  // namespace

std::string WriteHeif(const std::string& path, const HeifSpec& spec) {
    std::string message;
    const Owned<heif_image> image = Picture(spec.width, spec.height, spec.rgb, message);
    if (!image) return message;
    const Owned<heif_context> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    heif_error error = heif_context_get_encoder_for_format(
        context.get(), spec.avif ? heif_compression_AV1 : heif_compression_HEVC, &rawEncoder);
    const Owned<heif_encoder> encoder(rawEncoder);
    if (error.code != heif_error_Ok) return error.message;
    heif_encoder_set_lossy_quality(encoder.get(), spec.quality);

    const Owned<heif_encoding_options> options(heif_encoding_options_alloc());
    options->image_orientation = static_cast<heif_orientation>(spec.orientation);
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(),
                                      &rawHandle);
    const Owned<heif_image_handle> handle(rawHandle);
    if (error.code != heif_error_Ok) return error.message;
    if (!spec.thumbnailRgb.empty()) {
        const Owned<heif_image> picture =
            Picture(spec.thumbnailWidth, spec.thumbnailHeight, spec.thumbnailRgb, message);
        if (!picture) return message;
        heif_image_handle* thumbnail = nullptr;
        error = heif_context_encode_image(context.get(), picture.get(), encoder.get(),
                                          options.get(), &thumbnail);
        const Owned<heif_image_handle> release(thumbnail);
        // libheif 1.15 takes the thumbnail first, whatever its header's names
        // say (its own C++ wrapper passes them so); the other way round the
        // photo became the thumbnail's thumbnail and the file had none.
        if (error.code == heif_error_Ok)
            error = heif_context_assign_thumbnail(context.get(), thumbnail, handle.get());
        if (error.code != heif_error_Ok) return error.message;
    } else if (spec.thumbnailSide > 0) {
        heif_image_handle* thumbnail = nullptr;
        error =
            heif_context_encode_thumbnail(context.get(), image.get(), handle.get(), encoder.get(),
                                          options.get(), spec.thumbnailSide, &thumbnail);
        const Owned<heif_image_handle> release(thumbnail);
        if (error.code != heif_error_Ok) return error.message;
    }
    error = heif_context_write_to_file(context.get(), path.c_str());
    return error.code == heif_error_Ok ? "" : error.message;
}

}  // namespace testsupport

// x265 leaks a few blocks for every encoder it opens; the sanitizer build is
// there to find our leaks, not those of the encoder that writes test files.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265\n"; }
