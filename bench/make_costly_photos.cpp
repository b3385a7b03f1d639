// Writes the crafted files of bench/hostile_cost.sh that cost a decoder far
// more than their bytes:
//   make_costly_photos DIR
// grid_20000.heic   a grid of 141 x 141 tiles of 64 x 64 (about 20,000)
// grid_10000.heic   100 x 100 tiles of 64 x 64
// grid_small.heic   a grid within the budget: 8 x 6 tiles of 256 x 256
// overlay_9459.heic an overlay claiming a canvas of 9459 x 9459
// deflate_7999.tif  7999 x 7999 grey pixels deflated in one strip
// deflate_7999_strips.tif  the same in strips of 16 rows
#include "costly_photos.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    std::printf("%s %.1f KB\n", path.c_str(), bytes.size() / 1e3);
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_costly_photos DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    using namespace testsupport;
    const CodedTile small = CodeTile(64, 64, 200, 40, 40, dir);
    const CodedTile large = CodeTile(256, 256, 40, 160, 40, dir);
    const bool written =
        Write(dir + "/grid_20000.heic", HeifGrid({small}, 141, 141, 141 * 64, 141 * 64)) &&
        Write(dir + "/grid_10000.heic", HeifGrid({small}, 100, 100, 100 * 64, 100 * 64)) &&
        Write(dir + "/grid_small.heic", HeifGrid({large}, 6, 8, 8 * 256, 6 * 256)) &&
        Write(dir + "/overlay_9459.heic", HeifOverlay(small, 9459, 9459)) &&
        Write(dir + "/deflate_7999.tif", DeflatedTiff(7999, 7999, 7999)) &&
        Write(dir + "/deflate_7999_strips.tif", DeflatedTiff(7999, 7999, 16));
    return written ? 0 : 1;
}
