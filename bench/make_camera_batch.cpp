// make_camera_batch BODY.jpg THUMB.jpg OUTDIR COUNT
// Writes COUNT camera-like JPEGs: an Exif segment as cameras write it (IFD0,
// Exif with a maker note, interop, GPS, a thumbnail IFD1 with its JPEG), then
// the image data of BODY.jpg. Values vary from file to file.
#include "tiff_builder.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::vector<std::uint8_t> ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The body without SOI and without its own APPn segments.
std::vector<std::uint8_t> StripHead(const std::vector<std::uint8_t>& jpeg) {
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] >= 0xE0 &&
           jpeg[at + 1] <= 0xEF)
        at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    return {jpeg.begin() + static_cast<long>(at), jpeg.end()};
}

// A maker note laid out as a directory of small values, as most makers do.
std::vector<std::uint8_t> MakerNote(int seed) {
    std::vector<std::uint8_t> note;
    const int entries = 40;
    note.push_back(entries);
    note.push_back(0);
    for (int i = 0; i < entries; ++i) {
        const int tag = 0x0100 + i;
        note.insert(note.end(), {static_cast<std::uint8_t>(tag),
                                 static_cast<std::uint8_t>(tag >> 8), 3, 0, 2, 0, 0, 0});
        note.insert(note.end(),
                    {static_cast<std::uint8_t>(seed + i), 0, static_cast<std::uint8_t>(i), 0});
    }
    note.insert(note.end(), {0, 0, 0, 0});
    note.resize(note.size() + 1500, 0x20);
    return note;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_camera_batch BODY.jpg THUMB.jpg OUTDIR COUNT\n");
        return 2;
    }
    const std::vector<std::uint8_t> body = StripHead(ReadAll(argv[1]));
    const std::vector<std::uint8_t> thumb = ReadAll(argv[2]);
    const int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
        TiffSpec spec = CameraSpec(false);
        char date[32];
        std::snprintf(date, sizeof date, "2026:%02d:%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28,
                      i % 24, i % 60, (i * 7) % 60);
        spec.ifd0.fields[6] = Ascii(0x0132, date);
        for (Field& f : spec.exif->fields) {
            if (f.tag == 0x829A)
                f = Rational(0x829A, {{1, static_cast<std::uint32_t>(30 + i % 4000)}});
            if (f.tag == 0x8827) f = Short(0x8827, {static_cast<std::uint16_t>(100 << (i % 6))});
            if (f.tag == 0x9003 || f.tag == 0x9004) f = Ascii(f.tag, date);
            if (f.tag == 0x927C) f = Undefined(0x927C, MakerNote(i));
        }
        spec.trailer = thumb;
        TiffLayout layout = BuildTiff(spec);
        // Point the thumbnail entries (the last two of IFD1) at the trailer.
        const std::uint32_t n = static_cast<std::uint32_t>(spec.ifd1->fields.size());
        PutU32(layout.bytes, layout.entry(layout.ifd1, n - 2) + 8, layout.trailer, false);
        PutU32(layout.bytes, layout.entry(layout.ifd1, n - 1) + 8,
               static_cast<std::uint32_t>(thumb.size()), false);

        JpegOptions options;
        options.withImageData = false;
        std::vector<std::uint8_t> file = Jpeg(layout.bytes, options);
        file.insert(file.end(), body.begin(), body.end());
        char name[64];
        std::snprintf(name, sizeof name, "/IMG_%04d.JPG", i + 1);
        if (!WriteFile(std::string(argv[3]) + name, file)) {
            std::fprintf(stderr, "make_camera_batch: cannot write %s%s\n", argv[3], name);
            return 1;
        }
    }
    return 0;
}
