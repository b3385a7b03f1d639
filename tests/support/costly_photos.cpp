#include "costly_photos.h"

#include "heif_writer.h"
#include "tiff_builder.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

namespace testsupport {
namespace {

// Big-endian boxes, their sizes filled in when they end.
class Boxes {
public:
    void u8(std::uint32_t value) { bytes.push_back(static_cast<std::uint8_t>(value)); }
    void u16(std::uint32_t value) {
        u8(value >> 8);
        u8(value);
    }
    void u32(std::uint32_t value) {
        u16(value >> 16);
        u16(value);
    }
    void type(const char* code) {
        for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(code[i]));
    }
    void append(const std::vector<std::uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }

    std::size_t begin(const char* code) {
        const std::size_t start = bytes.size();
        u32(0);
        type(code);
        return start;
    }
    std::size_t beginFull(const char* code, std::uint8_t version, std::uint32_t flags = 0) {
        const std::size_t start = begin(code);
        u32(std::uint32_t{version} << 24 | flags);
        return start;
    }
    void end(std::size_t start) {
        const auto size = static_cast<std::uint32_t>(bytes.size() - start);
        for (int i = 0; i < 4; ++i)
            bytes[start + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }

    std::vector<std::uint8_t> bytes;
};

// Reading our own encoder's file: only what libheif writes.
std::uint32_t BigU32(const std::vector<std::uint8_t>& b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}
std::uint32_t BigU16(const std::vector<std::uint8_t>& b, std::size_t at) {
    if (at + 2 > b.size()) return 0;
    return std::uint32_t{b[at]} << 8 | b[at + 1];
}

struct Found {
    std::size_t start = 0, payload = 0, end = 0;
};

// The first child of [begin, end) of type `code`.
std::optional<Found> Child(const std::vector<std::uint8_t>& b, std::size_t begin, std::size_t end,
                           const char* code) {
    const std::uint32_t wanted = BigU32(std::vector<std::uint8_t>(code, code + 4), 0);
    for (std::size_t at = begin; at + 8 <= end;) {
        const std::uint32_t size = BigU32(b, at);
        if (size < 8 || at + size > end) return std::nullopt;
        if (BigU32(b, at + 4) == wanted) return Found{at, at + 8, at + size};
        at += size;
    }
    return std::nullopt;
}

std::uint64_t BigNumber(const std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t size) {
    if (size == 4) return BigU32(b, at);
    if (size == 8) return std::uint64_t{BigU32(b, at)} << 32 | BigU32(b, at + 4);
    return 0;
}

// The coded image of a file libheif wrote (which wraps a picture whose sides
// are not whole coding blocks in a one-tile grid): the first hvc1 item, its
// configuration and size, and its data.
CodedTile TileOfFile(const std::vector<std::uint8_t>& file) {
    CodedTile tile;
    const auto meta = Child(file, 0, file.size(), "meta");
    if (!meta) return tile;
    const std::size_t children = meta->payload + 4;
    const auto iinf = Child(file, children, meta->end, "iinf");
    const auto iprp = Child(file, children, meta->end, "iprp");
    const auto iloc = Child(file, children, meta->end, "iloc");
    if (!iinf || !iprp || !iloc) return tile;
    std::uint32_t coded = 0;
    for (std::size_t at = iinf->payload + 6; at + 8 <= iinf->end && coded == 0;) {
        const std::uint32_t size = BigU32(file, at);
        if (size < 8) return tile;
        if (file[at + 8] == 2 && BigU32(file, at + 16) == BigU32({'h', 'v', 'c', '1'}, 0))
            coded = BigU16(file, at + 12);
        at += size;
    }
    const auto ipco = Child(file, iprp->payload, iprp->end, "ipco");
    const auto ipma = Child(file, iprp->payload, iprp->end, "ipma");
    if (!coded || !ipco || !ipma) return tile;
    std::vector<Found> properties;
    for (std::size_t at = ipco->payload; at + 8 <= ipco->end;) {
        const std::uint32_t size = BigU32(file, at);
        if (size < 8) return tile;
        properties.push_back(Found{at, at + 8, at + size});
        at += size;
    }
    // ipma version 0, one-byte indices: libheif's.
    std::size_t at = ipma->payload + 8;
    for (std::uint32_t i = 0, n = BigU32(file, ipma->payload + 4); i < n && at < ipma->end; ++i) {
        const std::uint32_t id = BigU16(file, at);
        const std::uint32_t count = file[at + 2];
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t index = file[at + 3 + k] & 0x7Fu;
            if (id != coded || index == 0 || index > properties.size()) continue;
            const Found& property = properties[index - 1];
            const std::uint32_t type = BigU32(file, property.start + 4);
            if (type == BigU32({'h', 'v', 'c', 'C'}, 0))
                tile.configuration.assign(file.begin() + property.start,
                                          file.begin() + property.end);
            if (type == BigU32({'i', 's', 'p', 'e'}, 0)) {
                tile.width = BigU32(file, property.payload + 4);
                tile.height = BigU32(file, property.payload + 8);
            }
        }
        at += 3 + count;
    }
    const std::size_t box = iloc->payload;
    const std::uint8_t version = file[box];
    const std::uint32_t offsetSize = file[box + 4] >> 4, lengthSize = file[box + 4] & 15u;
    const std::uint32_t baseSize = file[box + 5] >> 4,
                        indexSize = version > 0 ? file[box + 5] & 15u : 0;
    at = box + 8;
    for (std::uint32_t i = 0, n = BigU16(file, box + 6); i < n && at < iloc->end; ++i) {
        const std::uint32_t id = BigU16(file, at);
        at += 2 + (version > 0 ? 2 : 0) + 2;
        const std::uint64_t base = BigNumber(file, at, baseSize);
        at += baseSize;
        const std::uint32_t extents = BigU16(file, at);
        at += 2;
        for (std::uint32_t k = 0; k < extents; ++k) {
            at += indexSize;
            const std::uint64_t offset = base + BigNumber(file, at, offsetSize);
            const std::uint64_t length = BigNumber(file, at + offsetSize, lengthSize);
            at += offsetSize + lengthSize;
            if (id == coded && offset + length <= file.size())
                tile.data.insert(tile.data.end(),
                                 file.begin() + static_cast<std::ptrdiff_t>(offset),
                                 file.begin() + static_cast<std::ptrdiff_t>(offset + length));
        }
    }
    return tile;
}

void FileType(Boxes& out) {
    const std::size_t ftyp = out.begin("ftyp");
    out.type("heic");
    out.u32(0);
    out.type("mif1");
    out.type("heic");
    out.end(ftyp);
}

// A meta box whose item 1 is the derived image (type `derived`, its
// description in idat) made of `inputs` (item 2 on), each a coded image of
// the tile `kindOf[k]`; the tiles' data starts at `dataStart`.
std::vector<std::uint8_t> Meta(const char* derived, const std::vector<std::uint8_t>& description,
                               const std::vector<CodedTile>& tiles,
                               const std::vector<std::size_t>& kindOf, std::uint32_t canvasWidth,
                               std::uint32_t canvasHeight, std::uint32_t dataStart,
                               std::optional<std::size_t> thumbnailKind) {
    Boxes out;
    const auto count = static_cast<std::uint32_t>(kindOf.size());
    // The thumbnail, when there is one, is the last item.
    const std::uint32_t items = count + 1 + (thumbnailKind ? 1 : 0);
    std::vector<std::size_t> kindOfItem = kindOf;
    if (thumbnailKind) kindOfItem.push_back(*thumbnailKind);
    const std::size_t meta = out.beginFull("meta", 0);

    const std::size_t hdlr = out.beginFull("hdlr", 0);
    out.u32(0);
    out.type("pict");
    for (int i = 0; i < 3; ++i) out.u32(0);
    out.u8(0);
    out.end(hdlr);

    const std::size_t pitm = out.beginFull("pitm", 0);
    out.u16(1);
    out.end(pitm);

    const std::size_t iinf = out.beginFull("iinf", 0);
    out.u16(items);
    for (std::uint32_t id = 1; id <= items; ++id) {
        const std::size_t infe = out.beginFull("infe", 2);
        out.u16(id);
        out.u16(0);
        out.type(id == 1 ? derived : "hvc1");
        out.u8(0);
        out.end(infe);
    }
    out.end(iinf);

    const std::size_t iref = out.beginFull("iref", 0);
    const std::size_t dimg = out.begin("dimg");
    out.u16(1);
    out.u16(count);
    for (std::uint32_t id = 2; id <= count + 1; ++id) out.u16(id);
    out.end(dimg);
    if (thumbnailKind) {
        const std::size_t thmb = out.begin("thmb");
        out.u16(items);
        out.u16(1);
        out.u16(1);
        out.end(thmb);
    }
    out.end(iref);

    // Properties: each tile's configuration and size, then the canvas's size.
    const std::size_t iprp = out.begin("iprp");
    const std::size_t ipco = out.begin("ipco");
    const auto ispe = [&](std::uint32_t width, std::uint32_t height) {
        const std::size_t box = out.beginFull("ispe", 0);
        out.u32(width);
        out.u32(height);
        out.end(box);
    };
    for (const CodedTile& tile : tiles) {
        out.append(tile.configuration);
        ispe(tile.width, tile.height);
    }
    ispe(canvasWidth, canvasHeight);
    out.end(ipco);
    const std::size_t ipma = out.beginFull("ipma", 0);
    out.u32(items);
    out.u16(1);
    out.u8(1);
    out.u8(static_cast<std::uint32_t>(2 * tiles.size() + 1));
    for (std::uint32_t k = 0; k < kindOfItem.size(); ++k) {
        out.u16(k + 2);
        out.u8(2);
        out.u8(0x80 | static_cast<std::uint32_t>(2 * kindOfItem[k] + 1));
        out.u8(static_cast<std::uint32_t>(2 * kindOfItem[k] + 2));
    }
    out.end(ipma);
    out.end(iprp);

    // Version 1: the derived image's description in idat, the tiles in mdat.
    std::vector<std::uint32_t> offsets(tiles.size());
    std::uint32_t offset = dataStart;
    for (std::size_t t = 0; t < tiles.size(); ++t) {
        offsets[t] = offset;
        offset += static_cast<std::uint32_t>(tiles[t].data.size());
    }
    const std::size_t iloc = out.beginFull("iloc", 1);
    out.u8(0x44);
    out.u8(0x00);
    out.u16(items);
    out.u16(1);
    out.u16(1);  // construction method 1: idat
    out.u16(0);
    out.u16(1);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(description.size()));
    for (std::uint32_t k = 0; k < kindOfItem.size(); ++k) {
        out.u16(k + 2);
        out.u16(0);
        out.u16(0);
        out.u16(1);
        out.u32(offsets[kindOfItem[k]]);
        out.u32(static_cast<std::uint32_t>(tiles[kindOfItem[k]].data.size()));
    }
    out.end(iloc);

    const std::size_t idat = out.begin("idat");
    out.append(description);
    out.end(idat);
    out.end(meta);
    return out.bytes;
}

std::vector<std::uint8_t> Derived(const char* derived, const std::vector<std::uint8_t>& description,
                                  const std::vector<CodedTile>& tiles,
                                  const std::vector<std::size_t>& kindOf, std::uint32_t canvasWidth,
                                  std::uint32_t canvasHeight,
                                  std::optional<std::size_t> thumbnailKind = std::nullopt) {
    for (const CodedTile& tile : tiles)
        if (tile.data.empty() || tile.configuration.empty()) return {};
    Boxes head;
    FileType(head);
    // The meta box's size does not depend on where the data goes.
    const std::size_t metaSize =
        Meta(derived, description, tiles, kindOf, canvasWidth, canvasHeight, 0, thumbnailKind)
            .size();
    const auto dataStart = static_cast<std::uint32_t>(head.bytes.size() + metaSize + 8);
    head.append(Meta(derived, description, tiles, kindOf, canvasWidth, canvasHeight, dataStart,
                     thumbnailKind));
    const std::size_t mdat = head.begin("mdat");
    for (const CodedTile& tile : tiles) head.append(tile.data);
    head.end(mdat);
    return head.bytes;
}

// A canvas size in 16 bits when it fits, else 32 (flag 1).
void CanvasSize(Boxes& out, std::uint32_t width, std::uint32_t height, bool wide) {
    if (wide) {
        out.u32(width);
        out.u32(height);
    } else {
        out.u16(width);
        out.u16(height);
    }
}

}  // namespace

CodedTile CodeTile(std::uint32_t width, std::uint32_t height, std::uint8_t red, std::uint8_t green,
                   std::uint8_t blue, const std::string& scratchFolder) {
    HeifSpec spec;
    spec.width = static_cast<int>(width);
    spec.height = static_cast<int>(height);
    for (std::uint32_t i = 0; i < width * height; ++i)
        spec.rgb.insert(spec.rgb.end(), {red, green, blue});
    spec.quality = 50;
    const std::string path = scratchFolder + "/tile.heic";
    if (!WriteHeif(path, spec).empty()) return {};
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    std::remove(path.c_str());
    return TileOfFile(file);
}

std::vector<std::uint8_t> HeifGrid(const std::vector<CodedTile>& tiles, std::uint32_t rows,
                                   std::uint32_t columns, std::uint32_t canvasWidth,
                                   std::uint32_t canvasHeight, const CodedTile* thumbnail) {
    if (tiles.empty() || rows == 0 || columns == 0 || rows > 256 || columns > 256) return {};
    const bool wide = canvasWidth > 0xFFFF || canvasHeight > 0xFFFF;
    Boxes grid;
    grid.u8(0);
    grid.u8(wide ? 1 : 0);
    grid.u8(rows - 1);
    grid.u8(columns - 1);
    CanvasSize(grid, canvasWidth, canvasHeight, wide);
    std::vector<std::size_t> kindOf(std::size_t{rows} * columns);
    for (std::size_t k = 0; k < kindOf.size(); ++k) kindOf[k] = k % tiles.size();
    if (!thumbnail) return Derived("grid", grid.bytes, tiles, kindOf, canvasWidth, canvasHeight);
    std::vector<CodedTile> withThumbnail = tiles;
    withThumbnail.push_back(*thumbnail);
    return Derived("grid", grid.bytes, withThumbnail, kindOf, canvasWidth, canvasHeight,
                   tiles.size());
}

std::vector<std::uint8_t> HeifOverlay(const CodedTile& tile, std::uint32_t canvasWidth,
                                      std::uint32_t canvasHeight) {
    const bool wide = canvasWidth > 0xFFFF || canvasHeight > 0xFFFF;
    Boxes overlay;
    overlay.u8(0);
    overlay.u8(wide ? 1 : 0);
    for (int i = 0; i < 4; ++i) overlay.u16(0xFFFF);  // an opaque white canvas
    CanvasSize(overlay, canvasWidth, canvasHeight, wide);
    CanvasSize(overlay, 0, 0, wide);  // the tile at the top left
    return Derived("iovl", overlay.bytes, {tile}, {0}, canvasWidth, canvasHeight);
}

std::vector<std::uint8_t> DeflatedTiff(std::uint32_t width, std::uint32_t height,
                                       std::uint32_t rowsPerStrip) {
    const std::uint64_t row = std::uint64_t{width} * 3;
    const std::uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    // Every strip but perhaps the last holds the same grey rows: deflated once.
    const auto deflated = [&](std::uint32_t rows) {
        std::vector<std::uint8_t> out;
        z_stream stream{};
        deflateInit(&stream, Z_BEST_COMPRESSION);
        const std::vector<std::uint8_t> line(row, 0x80);
        std::vector<std::uint8_t> chunk(1 << 16);
        for (std::uint32_t y = 0; y <= rows; ++y) {
            const bool last = y == rows;
            stream.next_in = const_cast<std::uint8_t*>(line.data());
            stream.avail_in = last ? 0 : static_cast<uInt>(row);
            do {
                stream.next_out = chunk.data();
                stream.avail_out = static_cast<uInt>(chunk.size());
                deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
                out.insert(out.end(), chunk.data(),
                           chunk.data() + (chunk.size() - stream.avail_out));
            } while (stream.avail_out == 0);
        }
        deflateEnd(&stream);
        return out;
    };
    const std::vector<std::uint8_t> full = deflated(std::min(rowsPerStrip, height));
    const std::uint32_t lastRows = height - (strips - 1) * rowsPerStrip;
    const std::vector<std::uint8_t> last =
        lastRows == std::min(rowsPerStrip, height) ? full : deflated(lastRows);

    TiffSpec spec;
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::vector<std::uint8_t>& strip = s + 1 == strips ? last : full;
        offsets.push_back(static_cast<std::uint32_t>(data.size()));
        counts.push_back(static_cast<std::uint32_t>(strip.size()));
        data.insert(data.end(), strip.begin(), strip.end());
    }
    spec.trailer = data;
    const auto fields = [&](std::uint32_t base) {
        std::vector<std::uint32_t> placed = offsets;
        for (std::uint32_t& offset : placed) offset += base;
        return std::vector<Field>{
            Long(0x100, {width}), Long(0x101, {height}), Short(0x102, {8, 8, 8}),
            Short(0x103, {8}),  // deflate
            Short(0x106, {2}),  // RGB
            Long(0x111, placed),  Short(0x115, {3}),     Long(0x116, {rowsPerStrip}),
            Long(0x117, counts),  Short(0x11C, {1}),
        };
    };
    spec.ifd0.fields = fields(0);
    const std::uint32_t trailer = BuildTiff(spec).trailer;
    spec.ifd0.fields = fields(trailer);
    return BuildTiff(spec).bytes;
}

}  // namespace testsupport
