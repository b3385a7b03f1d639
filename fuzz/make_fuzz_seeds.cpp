// make_fuzz_seeds DIR: writes the fuzzer's seed photos into DIR: the tests'
// camera photo in every container and byte order, and a few broken ones.
#include "metadata_blocks.h"
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

// The blocks beside the Exif: XMP (and an extended part), IPTC in
// Photoshop's resources, a colour profile in two chunks.
JpegOptions MetadataSegments() {
    const std::string guid = "0123456789ABCDEF0123456789ABCDEF";
    JpegOptions options;
    options.after.emplace_back(
        0xE1, XmpSegment(Xmp(" xmp:Rating=\"4\" xmpNote:HasExtendedXMP=\"" + guid +
                             "\"><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">"
                             "西湖</rdf:li></rdf:Alt></dc:title><dc:subject><rdf:Bag><rdf:li>a</"
                             "rdf:li><rdf:li>b</rdf:li></rdf:Bag>"
                             "</dc:subject><aux:LensInfo>24/1 70/1 28/10 28/10</aux:LensInfo>")));
    const std::string extension =
        Xmp("><dc:description><rdf:Alt><rdf:li>d</rdf:li></rdf:Alt></dc:description>");
    Bytes part = Of(std::string_view("http://ns.adobe.com/xmp/extension/\0", 35));
    Append(part, guid);
    AppendU32Be(part, static_cast<std::uint32_t>(extension.size()));
    AppendU32Be(part, 0);
    Append(part, extension);
    options.after.emplace_back(0xE1, part);
    options.after.emplace_back(
        0xED, PhotoshopSegment(
                  Iptc({{1, 90, "\x1B%G"}, {2, 5, "标题"}, {2, 25, "k"}, {2, 25, "\xBA\xBC"}})));
    for (auto& segment : IccSegments(IccProfile("Display P3", true), 2))
        options.after.push_back(segment);
    return options;
}

// Maker notes of each kind, in an otherwise small block.
std::vector<std::pair<std::string, Bytes>> MakerNoteBlocks() {
    const auto text = [](std::string_view s) {
        Bytes b = Of(s);
        b.push_back(0);
        return b;
    };
    Bytes nikonTiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    Bytes lens;
    for (std::uint32_t v : {18u, 1u, 55u, 1u, 35u, 10u, 56u, 10u})
        lens.insert(lens.end(), {std::uint8_t(v), 0, 0, 0});
    nikonTiff = NoteDirectory(nikonTiff, {{0x0084, 5, 4, lens}, {0x00A7, 4, 1, {0x39, 0x30, 0, 0}}},
                              false, 0);
    Bytes nikon = Of(std::string_view("Nikon\0\x02\x10\0\0", 10));
    nikon.insert(nikon.end(), nikonTiff.begin(), nikonTiff.end());
    Bytes olympus = NoteDirectory(Of(std::string_view("OLYMPUS\0II\x03\0", 12)),
                                  {{0x2010, 13, 1, {30, 0, 0, 0}}}, false, 0);
    olympus = NoteDirectory(olympus, {{0x0203, 2, 9, text("M.12-40m")}}, false, 0);
    const std::vector<std::tuple<std::string, std::string, Bytes>> notes = {
        {"nikon", "NIKON", nikon},
        {"olympus", "OLYMPUS", olympus},
        {"panasonic", "Panasonic",
         NoteDirectory(Of(std::string_view("Panasonic\0\0\0", 12)), {{0x0051, 2, 6, text("LUMIX")}},
                       false, -60)},
        {"canon", "Canon",
         NoteDirectory({}, {{0x0095, 2, 6, text("RF24 ")}, {0x0001, 3, 26, Bytes(52, 1)}}, false,
                       -60)},
    };
    std::vector<std::pair<std::string, Bytes>> blocks;
    for (const auto& [name, make, note] : notes) {
        TiffSpec spec;
        spec.ifd0.fields = {Ascii(0x010F, make)};
        spec.exif = Ifd{{Undefined(0x927C, note)}, {}};
        blocks.emplace_back(name, BuildTiff(spec).bytes);
    }
    return blocks;
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
        app0.before = {{0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}},
                       {0xFE, {'h', 'i'}}};
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
    seeds.emplace_back("camera-raw-profile-itxt.png",
                       PngRawProfile(CameraBlock(true), international));
    const Bytes block = CameraBlock(false);
    seeds.emplace_back("camera-xmp-iptc-icc.jpg", Jpeg(block, MetadataSegments()));
    TiffSpec tiffBlocks = CameraSpec(true);
    const std::string packet = Xmp(" xmp:Label=\"红\" photoshop:City=\"杭州\">");
    const Bytes icc = IccProfile("sRGB IEC61966-2.1", false);
    const Bytes iptc = Iptc({{2, 80, "张三"}, {2, 101, "中国"}});
    tiffBlocks.ifd0.fields.push_back(Undefined(0x02BC, Of(packet)));
    tiffBlocks.ifd0.fields.push_back(Undefined(0x83BB, iptc));
    tiffBlocks.ifd0.fields.push_back(Undefined(0x8773, icc));
    tiffBlocks.ifd0.fields.push_back(Byte(0x9C9B, Utf16Le(u"标题")));
    seeds.emplace_back("camera-xmp-iptc-icc.tif", BuildTiff(tiffBlocks).bytes);
    // XMP and a profile in a WebP's chunks and in a PNG's (CRCs are not checked).
    Bytes webp = WebP(block, false);
    for (const auto& [type, data] :
         {std::pair<std::string, Bytes>{"XMP ", Of(packet)}, {"ICCP", icc}}) {
        Append(webp, type);
        const std::size_t at = webp.size();
        webp.resize(at + 4);
        PutU32(webp, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(data.size()),
               false);
        webp.insert(webp.end(), data.begin(), data.end());
        if (data.size() % 2) webp.push_back(0);
    }
    PutU32(webp, 4, static_cast<std::uint32_t>(webp.size() - 8), false);
    seeds.emplace_back("camera-xmp-icc.webp", webp);
    Bytes png = Png(block, true);
    Bytes chunks;
    Bytes itxt = Of(std::string_view("XML:com.adobe.xmp\0\0\0\0\0", 22));
    Append(itxt, packet);
    Bytes iccp = Of(std::string_view("icc\0\0", 5));
    const Bytes compressed = ZlibStored(icc);
    iccp.insert(iccp.end(), compressed.begin(), compressed.end());
    for (const auto& [type, data] : {std::pair<std::string, Bytes>{"iTXt", itxt}, {"iCCP", iccp}}) {
        AppendU32Be(chunks, static_cast<std::uint32_t>(data.size()));
        Append(chunks, type);
        chunks.insert(chunks.end(), data.begin(), data.end());
        chunks.insert(chunks.end(), {0, 0, 0, 0});
    }
    png.insert(png.end() - 12, chunks.begin(), chunks.end());
    seeds.emplace_back("camera-xmp-icc.png", png);
    for (const auto& [name, note] : MakerNoteBlocks())
        seeds.emplace_back("makernote-" + name + ".jpg", Jpeg(note));
    seeds.emplace_back("plain.bmp", Bmp());
    seeds.emplace_back("plain.gif", Gif());
    seeds.emplace_back("loops.jpg", Jpeg(LoopingBlock()));
    seeds.emplace_back("huge-count.tif", HugeCountBlock());
    seeds.emplace_back("overlapping.tif", OverlappingBlock());

    for (const auto& [name, bytes] : seeds) {
        if (!WriteFile(dir + "/" + name, bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s/%s\n", dir.c_str(),
                         name.c_str());
            return 1;
        }
    }
    return 0;
}
