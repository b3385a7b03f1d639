// make_claiming_jpeg DIR: writes mid-grey progressive JPEGs of 40000 x 40000
// pixels that take about 3 MB each, every block's DC coded in one bit; a
// full decode keeps 3.2 GB of coefficients.
//   claiming_dc_ac.jpg    a DC scan and one AC scan of empty blocks: complete
//   claiming_dc_only.jpg  the DC scan alone, so libjpeg smooths it
// and warmup.jpg, a small photo to start the measured programs with.
#include "jpeg_test_codec.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_claiming_jpeg DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    for (const bool withAc : {true, false}) {
        const std::string path = dir + (withAc ? "/claiming_dc_ac.jpg" : "/claiming_dc_only.jpg");
        const jpegtest::Bytes bytes = jpegtest::FlatProgressiveGrey(40000, 40000, withAc);
        if (!jpegtest::WriteFile(path, bytes)) {
            std::fprintf(stderr, "make_claiming_jpeg: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s %.1f MB\n", path.c_str(), bytes.size() / 1e6);
    }
    const jpegtest::Bytes warmUp = jpegtest::Encode(jpegtest::Scene(640, 480), jpegtest::Layout{});
    return jpegtest::WriteFile(dir + "/warmup.jpg", warmUp) ? 0 : 1;
}
