// make_fuzz_seeds DIR: writes the fuzzer's seed photos into DIR: the tests'
// camera photo in every container and byte order, and a few broken ones.
#include "tiff_builder.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace testsupport;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes CameraBlock(bool big) {
    TiffSpec spec = CameraSpec(big);
    spec.trailer = Bytes(64, 0xAB);  // a token thumbnail
    TiffLayout layout = BuildTiff(spec);
    PutU32(layout.bytes, layout.entry(layout.ifd1, 4) + 8, layout.trailer, big);
    PutU32(layout.bytes, layout.entry(layout.ifd1, 5) + 8, 64, big);
    return layout.bytes;
}

// The Exif pointer aims back at IFD0 and IFD1 is IFD0 again.
Bytes LoopingBlock() {
    TiffLayout layout = BuildTiff(CameraSpec(false));
    PutU32(layout.bytes, layout.entry(layout.ifd0, 8) + 8, layout.ifd0, false);
    PutU32(layout.bytes, layout.entry(layout.ifd0, 10), layout.ifd0, false);
    return layout.bytes;
}

// A RATIONAL whose count times 8 wraps to 8 bytes in 32 bits.
Bytes HugeCountBlock() {
    TiffSpec spec;
    spec.bigEndian = true;
    spec.ifd0.fields = {Short(0x0112, {1}), Raw(0x829A, 5, 0x20000001, {}), Ascii(0x010F, "Canon")};
    spec.ifd0.fields[1].offsetOverride = 8;
    return BuildTiff(spec).bytes;
}

// Two directories sharing entries: the Exif pointer lands 12 bytes into IFD0.
Bytes OverlappingBlock() {
    Bytes block{'I', 'I', 42, 0, 8, 0, 0, 0};
    const std::uint16_t entries = 40;
    PutU16(block, 8, entries, false);
    for (std::uint16_t i = 0; i < entries; ++i) {
        const std::uint32_t at = 10 + 12u * i;
        PutU16(block, at, static_cast<std::uint16_t>(i == 1 ? 0x8769 : 0x9000 + i), false);
        PutU16(block, at + 2, 4, false);
        PutU32(block, at + 4, 1, false);
        PutU32(block, at + 8, i == 0 ? std::uint32_t{entries - 1u} << 16 : i == 1 ? 20 : i, false);
    }
    PutU32(block, 10 + 12u * entries, 0, false);
    return block;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_fuzz_seeds DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (bool big : {false, true}) {
        const std::string order = big ? "-be" : "-le";
        const Bytes block = CameraBlock(big);
        JpegOptions app0;
        app0.before = {{0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}}, {0xFE, {'h', 'i'}}};
        seeds.emplace_back("camera" + order + ".tif", block);
        seeds.emplace_back("camera" + order + ".jpg", Jpeg(block, app0));
        seeds.emplace_back("camera-decodable" + order + ".jpg", DecodableJpeg(block));
        seeds.emplace_back("camera-exif-first" + order + ".png", Png(block, true));
        seeds.emplace_back("camera-exif-last" + order + ".png", Png(block, false));
        seeds.emplace_back("camera" + order + ".webp", WebP(block, false));
        seeds.emplace_back("camera-exif-header" + order + ".webp", WebP(block, true));
        Bytes truncated = Jpeg(block);
        truncated.resize(truncated.size() / 2);
        seeds.emplace_back("camera-truncated" + order + ".jpg", truncated);

        seeds.emplace_back("camera" + order + ".heic", Heif(block));
        HeifOptions wide;  // 64-bit sizes and offsets, 32-bit item ids, the item in pieces
        wide.ilocVersion = 2;
        wide.offsetSize = wide.lengthSize = wide.baseOffsetSize = 8;
        wide.indexSize = 4;
        wide.infeVersion = 3;
        wide.pieces = 3;
        wide.largeSizes = true;
        seeds.emplace_back("camera-wide" + order + ".heic", Heif(block, wide));
        HeifOptions idat;
        idat.ilocVersion = 1;
        idat.inIdat = true;
        idat.metaAfterMdat = true;
        seeds.emplace_back("camera-idat" + order + ".heic", Heif(block, idat));
        HeifOptions avif;
        avif.majorBrand = "avif";
        avif.compatibleBrands = {"mif1", "avif", "miaf"};
        seeds.emplace_back("camera" + order + ".avif", Heif(block, avif));
        TiffSpec cr3 = CameraSpec(big);
        cr3.ifd1.reset();
        seeds.emplace_back("camera" + order + ".cr3", Cr3(cr3));
        seeds.emplace_back("camera" + order + ".raf", Raf(Jpeg(block, app0)));
        seeds.emplace_back("camera" + order + ".orf", WithHeader(block, big ? "MMOR" : "IIRO"));
        seeds.emplace_back("camera-raw-profile" + order + ".png", PngRawProfile(block));
    }
    seeds.emplace_back("camera.rw2", WithHeader(CameraBlock(false), std::string("IIU\0", 4)));
    RawProfileOptions text;
    text.chunk = "tEXt";
    text.name = "APP1";
    seeds.emplace_back("camera-raw-profile-text.png", PngRawProfile(CameraBlock(false), text));
    RawProfileOptions international;
    international.chunk = "iTXt";
    seeds.emplace_back("camera-raw-profile-itxt.png", PngRawProfile(CameraBlock(true), international));
    seeds.emplace_back("plain.bmp", Bmp());
    seeds.emplace_back("plain.gif", Gif());
    seeds.emplace_back("loops.jpg", Jpeg(LoopingBlock()));
    seeds.emplace_back("huge-count.tif", HugeCountBlock());
    seeds.emplace_back("overlapping.tif", OverlappingBlock());

    for (const auto& [name, bytes] : seeds) {
        if (!WriteFile(dir + "/" + name, bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s/%s\n", dir.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
