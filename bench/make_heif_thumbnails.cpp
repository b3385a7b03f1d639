// HEIFs whose thumbnails are a pixel off the photo's aspect, as cameras write
// them (bench/heif_thumbnails.sh): a 12 MP 3:2 photo of 4256 x 2832 with a
// 320 x 212 thumbnail (exact height 212.9), and one of 8640 x 5760 (a Sony
// .HIF's size) with the same thumbnail (exact height 213.3).
#include "heif_writer.h"

#include <cstdio>
#include <string>

namespace {

// Smooth gradients with some edges, so that the encoder has work like a photo's.
std::vector<std::uint8_t> Scene(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / width);
            p[1] = static_cast<std::uint8_t>(y * 255 / height);
            p[2] = ((x / 97 + y / 61) % 2) ? 200 : 40;
        }
    return rgb;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_heif_thumbnails FOLDER\n");
        return 2;
    }
    const struct {
        const char* name;
        int width, height;
    } photos[] = {{"phone_12mp_3x2.heic", 4256, 2832}, {"camera_8640x5760.hif", 8640, 5760}};
    for (const auto& photo : photos) {
        testsupport::HeifSpec spec;
        spec.width = photo.width;
        spec.height = photo.height;
        spec.rgb = Scene(photo.width, photo.height);
        spec.thumbnailWidth = 320;
        spec.thumbnailHeight = 212;
        spec.thumbnailRgb = Scene(320, 212);
        spec.quality = 80;
        const std::string path = std::string(argv[1]) + "/" + photo.name;
        const std::string error = testsupport::WriteHeif(path, spec);
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
        std::printf("%s %dx%d\n", photo.name, photo.width, photo.height);
    }
    return 0;
}
