#include "reader/property_bmff.h"

#include "reader/bmff_properties.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

namespace reader {
namespace {

using namespace std::string_view_literals;

constexpr std::uint32_t FourCC(std::string_view code) {
    return std::uint32_t{static_cast<std::uint8_t>(code[0])} << 24 |
           std::uint32_t{static_cast<std::uint8_t>(code[1])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(code[2])} << 8 |
           static_cast<std::uint8_t>(code[3]);
}

// Canon's box in moov that holds the CMT boxes.
constexpr std::array<std::uint8_t, 16> kCanonUuid = {
    0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0, 0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};

// The most bytes of one box that are read into memory: the item information
// and item location boxes, which hold a few entries per image item. An
// iPhone's 48-tile photo needs a few kilobytes.
constexpr std::uint64_t kMaxMetaBox = 16u << 20;
// The most Exif items tried, and the most bytes an Exif item in several
// pieces may come to (an Exif block is rarely more than 64 KiB).
constexpr std::size_t kMaxExifItems = 16;
constexpr std::uint64_t kMaxAssembledItem = 16u << 20;

struct Box {
    std::uint32_t type = 0;
    std::uint64_t start = 0;
    std::uint64_t payload = 0;  // after the header and a uuid box's user type
    std::uint64_t end = 0;
    std::array<std::uint8_t, 16> uuid{};
};

// A box header from `header`, its first bytes (up to 32), for a box that
// starts at `start` and must end by `limit`; nothing when it does not fit.
// Size 1 means a 64-bit size follows, size 0 that the box runs to `limit`.
std::optional<Box> ParseBox(const ByteView& header, std::uint64_t start, std::uint64_t limit) {
    if (start > limit || limit - start < 8) return std::nullopt;
    Box box;
    box.start = start;
    box.type = header.u32(4);
    std::uint64_t size = header.u32(0);
    std::uint64_t headerSize = 8;
    if (size == 1) {
        size = std::uint64_t{header.u32(8)} << 32 | header.u32(12);
        headerSize = 16;
    } else if (size == 0) {
        size = limit - start;
    }
    if (box.type == FourCC("uuid")) {
        for (std::size_t i = 0; i < box.uuid.size(); ++i) box.uuid[i] = header.u8(headerSize + i);
        headerSize += box.uuid.size();
    }
    if (!header.ok() || size < headerSize || size > limit - start) return std::nullopt;
    box.payload = start + headerSize;
    box.end = start + size;
    return box;
}

// Walks boxes in the file through the window; every box looked at counts
// against kMaxHeaders. The walks below go no deeper than a fixed path (meta
// and its children, moov and Canon's box and its children), so nesting is
// bounded by the code, not by the file.
class BoxReader {
public:
    explicit BoxReader(BufferedWindow& window) : window_(window) {}

    std::optional<Box> at(std::uint64_t start, std::uint64_t limit) {
        if (++boxes_ > kMaxHeaders) return std::nullopt;
        return ParseBox(window_.peek(start, 32, true), start, limit);
    }

    // The children of [begin, end) in order, until `visit` returns true or
    // a box does not fit.
    template <typename Visit>
    void children(std::uint64_t begin, std::uint64_t end, Visit visit) {
        for (std::uint64_t pos = begin; pos < end;) {
            const std::optional<Box> box = at(pos, end);
            if (!box || visit(*box)) return;
            pos = box->end;
        }
    }

    std::optional<Box> find(std::uint64_t begin, std::uint64_t end, std::uint32_t type) {
        std::optional<Box> found;
        children(begin, end, [&](const Box& box) {
            if (box.type == type) found = box;
            return found.has_value();
        });
        return found;
    }

    // The payload of the box in memory, or an empty view when it is larger
    // than kMaxMetaBox or cannot be read. Lives until the next read.
    ByteView payload(const Box& box) {
        if (box.end - box.payload > kMaxMetaBox) return ByteView({}, true);
        return window_.exact(box.payload, box.end - box.payload, true);
    }

    BufferedWindow& window() { return window_; }

    bool spent() const { return boxes_ > kMaxHeaders; }
    void count() { ++boxes_; }

private:
    BufferedWindow& window_;
    std::uint64_t boxes_ = 0;
};

// The boxes inside an in-memory payload: [type, offset within, end within].
template <typename Visit>
void ChildrenIn(BoxReader& reader, const ByteView& bytes, std::uint64_t begin, Visit visit) {
    for (std::uint64_t pos = begin; pos < bytes.size() && !reader.spent();) {
        reader.count();
        const std::optional<Box> box = ParseBox(
            bytes.sub(pos, std::min<std::uint64_t>(32, bytes.size() - pos)), pos, bytes.size());
        if (!box || visit(*box)) return;
        pos = box->end;
    }
}

// An unsigned number of 0, 4 or 8 bytes.
std::uint64_t Number(const ByteView& bytes, std::uint64_t at, std::uint32_t width) {
    if (width == 4) return bytes.u32(at);
    if (width == 8) return std::uint64_t{bytes.u32(at)} << 32 | bytes.u32(at + 4);
    return 0;
}

// The items of the item information box that hold metadata, in its order:
// Exif items, and XMP packets (mime items of type application/rdf+xml).
struct MetadataItems {
    std::vector<std::uint32_t> exif;
    std::vector<std::uint32_t> xmp;
};

MetadataItems FindMetadataItems(BoxReader& reader, const Box& iinf) {
    constexpr std::string_view kXmpType = "application/rdf+xml\0"sv;
    MetadataItems items;
    const ByteView bytes = reader.payload(iinf);
    if (bytes.size() < 4) return items;
    const std::uint64_t entries = bytes.u8(0) == 0 ? 6 : 8;  // the count is 16-bit in version 0
    ChildrenIn(reader, bytes, entries, [&](const Box& infe) {
        if (infe.type != FourCC("infe")) return false;
        const ByteView entry = bytes.sub(infe.payload, infe.end - infe.payload);
        const std::uint8_t version = entry.u8(0);
        // Versions 0 and 1 have no item type; version 3 has 32-bit item ids.
        if (version < 2) return false;
        const std::uint64_t idWidth = version == 2 ? 2 : 4;
        const std::uint32_t id = version == 2 ? entry.u16(4) : entry.u32(4);
        const std::uint16_t protection = entry.u16(4 + idWidth);
        const std::uint32_t type = entry.u32(6 + idWidth);
        if (!entry.ok() || protection != 0) return false;
        if (type == FourCC("Exif") && items.exif.size() < kMaxExifItems) items.exif.push_back(id);
        if (type == FourCC("mime") && items.xmp.empty()) {
            // The item's name, then its content type, each ended by a NUL.
            const std::uint64_t name = 10 + idWidth;
            std::uint64_t at = name;
            while (at < entry.size() && entry.u8(at) != 0) ++at;
            const std::uint64_t contentType = at + 1;
            if (contentType < entry.size() &&
                entry
                    .sub(contentType,
                         std::min<std::uint64_t>(kXmpType.size(), entry.size() - contentType))
                    .startsWith(kXmpType))
                items.xmp.push_back(id);
        }
        return false;
    });
    return items;
}

struct Extent {
    std::uint64_t offset = 0;  // in the file
    std::uint64_t length = 0;
};

struct ItemPlace {
    std::uint32_t constructionMethod = 0;
    std::uint16_t dataReference = 0;
    std::uint64_t baseOffset = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;  // offset, length
};

// The item location box's entries for the wanted items.
std::map<std::uint32_t, ItemPlace> ItemPlaces(BoxReader& reader, const Box& iloc,
                                              const std::vector<std::uint32_t>& wanted) {
    std::map<std::uint32_t, ItemPlace> places;
    const ByteView bytes = reader.payload(iloc);
    const std::uint8_t version = bytes.u8(0);
    if (!bytes.ok() || version > 2) return places;
    const std::uint32_t offsetSize = bytes.u8(4) >> 4;
    const std::uint32_t lengthSize = bytes.u8(4) & 15u;
    const std::uint32_t baseOffsetSize = bytes.u8(5) >> 4;
    const std::uint32_t indexSize = version == 0 ? 0 : bytes.u8(5) & 15u;
    for (std::uint32_t size : {offsetSize, lengthSize, baseOffsetSize, indexSize}) {
        if (size != 0 && size != 4 && size != 8) return places;
    }
    std::uint64_t pos = 6;
    const std::uint64_t itemCount = version < 2 ? bytes.u16(pos) : bytes.u32(pos);
    pos += version < 2 ? 2 : 4;
    const std::uint64_t extentSize = indexSize + offsetSize + lengthSize;
    // Each entry takes at least six bytes, so the loop ends with the box.
    for (std::uint64_t i = 0; i < itemCount && bytes.ok() && pos < bytes.size(); ++i) {
        ItemPlace place;
        const std::uint32_t id = version < 2 ? bytes.u16(pos) : bytes.u32(pos);
        pos += version < 2 ? 2 : 4;
        if (version > 0) {
            place.constructionMethod = bytes.u16(pos) & 15u;
            pos += 2;
        }
        place.dataReference = bytes.u16(pos);
        place.baseOffset = Number(bytes, pos + 2, baseOffsetSize);
        pos += 2 + baseOffsetSize;
        const std::uint64_t extentCount = bytes.u16(pos);
        pos += 2;
        if (!bytes.ok() || extentCount * extentSize > bytes.size() - std::min(pos, bytes.size()))
            break;
        // Extents of no length (lengthSize 0) cannot hold an Exif item.
        if (lengthSize != 0 && std::find(wanted.begin(), wanted.end(), id) != wanted.end() &&
            !places.contains(id)) {
            for (std::uint64_t k = 0; k < extentCount; ++k) {
                const std::uint64_t at = pos + k * extentSize + indexSize;
                place.extents.emplace_back(Number(bytes, at, offsetSize),
                                           Number(bytes, at + offsetSize, lengthSize));
            }
            places.emplace(id, std::move(place));
        }
        pos += extentCount * extentSize;
    }
    return places;
}

// The item's pieces as file ranges: in the file itself (construction method
// 0) or in the meta box's idat box (method 1). Nothing for items in other
// files or made of other items, and for extents outside their data.
std::optional<std::vector<Extent>> FileExtents(const ItemPlace& place, std::uint64_t fileSize,
                                               const std::optional<Box>& idat) {
    std::uint64_t dataStart = 0;
    std::uint64_t dataSize = fileSize;
    if (place.constructionMethod == 1 && idat) {
        dataStart = idat->payload;
        dataSize = idat->end - idat->payload;
    } else if (place.constructionMethod != 0 || place.dataReference != 0) {
        return std::nullopt;
    }
    if (place.extents.empty()) return std::nullopt;
    std::vector<Extent> extents;
    for (const auto& [offset, length] : place.extents) {
        // A length of 0 (the whole file) cannot be an Exif item.
        if (length == 0 || place.baseOffset > dataSize || offset >= dataSize - place.baseOffset)
            return std::nullopt;
        const std::uint64_t available = dataSize - place.baseOffset - offset;
        // The last piece of a file cut short gives what it holds, as the
        // other containers' blocks do; a piece before it must be whole.
        if (length > available && extents.size() + 1 < place.extents.size()) return std::nullopt;
        extents.push_back(
            Extent{dataStart + place.baseOffset + offset, std::min(length, available)});
    }
    return extents;
}

// Where the TIFF header lies in an Exif item of `length` bytes, whose bytes
// `at(offset, count)` reads: the item begins with the 4-byte offset of the
// header from the end of that field, usually 6 for an "Exif\0\0" before it.
// Writers that got the offset wrong are met halfway: a header right after
// "Exif\0\0", or right after the field, serves too.
template <typename Read>
std::optional<std::uint64_t> TiffStart(std::uint64_t length, Read at) {
    const ByteView head = at(0, std::min<std::uint64_t>(length, 10));
    if (head.size() < 8) return std::nullopt;
    const std::uint64_t declared = std::uint64_t{head.u32(0)} + 4;
    const bool exifHeader =
        head.sub(4, std::min<std::uint64_t>(6, head.size() - 4)).startsWith("Exif\0\0"sv);
    for (std::uint64_t start : {declared, std::uint64_t{10}, std::uint64_t{4}}) {
        if (start == 10 && !exifHeader) continue;
        if (start <= length && length - start >= 8 && StartsWithTiffHeader(at(start, 4)))
            return start;
    }
    return std::nullopt;
}

// The first XMP item, within its cap.
void ReadXmpItem(BoxReader& reader, const ItemPlace& place, const std::optional<Box>& idat,
                 EmbeddedBlocks& embedded) {
    const std::optional<std::vector<Extent>> extents =
        FileExtents(place, reader.window().sourceSize(), idat);
    if (!extents) return;
    std::uint64_t total = 0;
    for (const Extent& extent : *extents) total += extent.length;
    if (total > kMaxXmpBytes) return;
    std::vector<std::uint8_t> packet;
    packet.reserve(static_cast<std::size_t>(total));
    for (const Extent& extent : *extents) {
        const ByteView piece = reader.window().exact(extent.offset, extent.length, true);
        if (piece.size() != extent.length) return;
        packet.insert(packet.end(), piece.bytes().begin(), piece.bytes().end());
    }
    embedded.xmp = std::move(packet);
}

// The colour of the primary image: the colr property that the item
// property association gives it, else the first colr at all. A profile
// ("prof", "rICC") is kept whole within its cap; "nclx" gives its primaries.
void FindColour(BoxReader& reader, const std::optional<Box>& iprp, const std::optional<Box>& pitm,
                EmbeddedBlocks& embedded) {
    if (!iprp) return;
    std::optional<Box> ipco, ipma;
    reader.children(iprp->payload, iprp->end, [&](const Box& box) {
        if (box.type == FourCC("ipco") && !ipco) ipco = box;
        if (box.type == FourCC("ipma") && !ipma) ipma = box;
        return false;
    });
    if (!ipco) return;
    // The primary image's property indices (counted from 1).
    std::vector<std::uint32_t> primaryProperties;
    if (pitm && ipma) {
        const ByteView itemBytes = reader.payload(*pitm);
        const std::uint32_t primary = itemBytes.u8(0) == 0 ? itemBytes.u16(4) : itemBytes.u32(4);
        ForEachPropertyAssociation(
            reader.payload(*ipma),
            [&](std::uint32_t item, std::uint32_t index) {
                if (item == primary) primaryProperties.push_back(index);
            },
            primary);
        if (!itemBytes.ok()) primaryProperties.clear();
    }
    std::optional<Box> chosen, first;
    std::uint32_t index = 0;
    reader.children(ipco->payload, ipco->end, [&](const Box& box) {
        ++index;
        if (box.type != FourCC("colr")) return false;
        if (!first) first = box;
        if (std::find(primaryProperties.begin(), primaryProperties.end(), index) !=
            primaryProperties.end())
            chosen = box;
        return chosen.has_value();
    });
    if (!chosen) chosen = first;
    if (!chosen || chosen->end - chosen->payload < 4) return;
    const ByteView kind = reader.window().exact(chosen->payload, 4, true);
    if (kind.startsWith("nclx")) {
        const ByteView primaries = reader.window().exact(chosen->payload + 4, 2, true);
        if (!primaries.empty()) embedded.colourPrimaries = primaries.u16(0);
    } else if (kind.startsWith("prof") || kind.startsWith("rICC")) {
        const std::uint64_t length = chosen->end - chosen->payload - 4;
        if (length > kMaxIccBytes) return;
        const ByteView profile = reader.window().exact(chosen->payload + 4, length, true);
        embedded.icc.assign(profile.bytes().begin(), profile.bytes().end());
    }
}

// The first Exif item with a TIFF header, as a block in the file (one piece)
// or put together (several); the XMP item and the primary image's colour.
void FindExifItem(BoxReader& reader, const Box& meta, ContainerScan& scan) {
    const std::uint64_t fileSize = reader.window().sourceSize();
    std::optional<Box> iinf, iloc, idat, iprp, pitm;
    // meta is a full box: version and flags come before its children.
    reader.children(meta.payload + 4, meta.end, [&](const Box& box) {
        if (box.type == FourCC("iinf") && !iinf) iinf = box;
        if (box.type == FourCC("iloc") && !iloc) iloc = box;
        if (box.type == FourCC("idat") && !idat) idat = box;
        if (box.type == FourCC("iprp") && !iprp) iprp = box;
        if (box.type == FourCC("pitm") && !pitm) pitm = box;
        return false;
    });
    FindColour(reader, iprp, pitm, scan.embedded);
    if (!iinf || !iloc) return;
    const MetadataItems metadata = FindMetadataItems(reader, *iinf);
    std::vector<std::uint32_t> wanted = metadata.exif;
    wanted.insert(wanted.end(), metadata.xmp.begin(), metadata.xmp.end());
    if (wanted.empty()) return;
    const std::map<std::uint32_t, ItemPlace> places = ItemPlaces(reader, *iloc, wanted);
    if (!metadata.xmp.empty()) {
        if (const auto place = places.find(metadata.xmp.front()); place != places.end())
            ReadXmpItem(reader, place->second, idat, scan.embedded);
    }
    for (std::uint32_t id : metadata.exif) {
        const auto place = places.find(id);
        if (place == places.end()) continue;
        const std::optional<std::vector<Extent>> extents =
            FileExtents(place->second, fileSize, idat);
        if (!extents) continue;
        if (extents->size() == 1) {
            const Extent& item = extents->front();
            const std::optional<std::uint64_t> start =
                TiffStart(item.length, [&](std::uint64_t at, std::uint64_t n) {
                    return reader.window().exact(item.offset + at, n, true);
                });
            if (!start) continue;
            scan.blocks.push_back(BlockAt(item.offset + *start, item.length - *start, fileSize));
            return;
        }
        // Several pieces: put together, within a bound and the file's size
        // (pieces may overlap, so their sum alone is no bound).
        std::uint64_t total = 0;
        for (const Extent& extent : *extents) total += extent.length;
        if (total > std::min(kMaxAssembledItem, fileSize)) continue;
        std::vector<std::uint8_t> bytes;
        bytes.reserve(static_cast<std::size_t>(total));
        bool complete = true;
        for (const Extent& extent : *extents) {
            const ByteView piece = reader.window().exact(extent.offset, extent.length, true);
            complete = complete && piece.size() == extent.length;
            bytes.insert(bytes.end(), piece.bytes().begin(), piece.bytes().end());
        }
        if (!complete) continue;
        const ByteView item(bytes, true);
        const std::optional<std::uint64_t> start = TiffStart(
            bytes.size(), [&](std::uint64_t at, std::uint64_t n) { return item.sub(at, n); });
        if (!start) continue;
        scan.blocks.push_back(TiffBlock{*start, bytes.size() - *start});
        scan.assembled = std::move(bytes);
        return;
    }
}

// CR3: IFD0, the Exif and the GPS directory in the CMT1, CMT2 and CMT4 boxes
// of Canon's box in moov, listed in that order. CMT3 holds the maker notes,
// which are not listed.
void FindCanonBlocks(BoxReader& reader, std::uint64_t fileSize, ContainerScan& scan) {
    const std::optional<Box> moov = reader.find(0, fileSize, FourCC("moov"));
    if (!moov) return;
    std::optional<Box> canon;
    reader.children(moov->payload, moov->end, [&](const Box& box) {
        if (box.type == FourCC("uuid") && box.uuid == kCanonUuid) canon = box;
        return canon.has_value();
    });
    if (!canon) return;
    std::optional<Box> found[3];
    reader.children(canon->payload, canon->end, [&](const Box& box) {
        const int slot = box.type == FourCC("CMT1")   ? 0
                         : box.type == FourCC("CMT2") ? 1
                         : box.type == FourCC("CMT4") ? 2
                                                      : -1;
        if (slot >= 0 && !found[slot]) found[slot] = box;
        return false;
    });
    constexpr TiffRole kRoles[] = {TiffRole::Ifd0, TiffRole::Exif, TiffRole::Gps};
    for (int slot = 0; slot < 3; ++slot) {
        if (!found[slot]) continue;
        TiffBlock block{found[slot]->payload, found[slot]->end - found[slot]->payload};
        block.role = kRoles[slot];
        scan.blocks.push_back(block);
    }
}

// CR3 keeps its XMP packet in a uuid box of its own at the top level.
void FindCanonXmp(BoxReader& reader, std::uint64_t fileSize, EmbeddedBlocks& embedded) {
    constexpr std::array<std::uint8_t, 16> kXmpUuid = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9,
                                                       0x42, 0xe8, 0x9c, 0x71, 0x99, 0x94,
                                                       0x91, 0xe3, 0xaf, 0xac};
    reader.children(0, fileSize, [&](const Box& box) {
        if (box.type != FourCC("uuid") || box.uuid != kXmpUuid) return false;
        if (box.end - box.payload <= kMaxXmpBytes) {
            const ByteView packet = reader.window().exact(box.payload, box.end - box.payload, true);
            embedded.xmp.assign(packet.bytes().begin(), packet.bytes().end());
        }
        return true;
    });
}

bool IsAvifBrand(std::uint32_t brand) {
    return brand == FourCC("avif") || brand == FourCC("avis") || brand == FourCC("avio");
}

bool IsHeifBrand(std::uint32_t brand) {
    constexpr std::string_view kBrands[] = {"heic", "heix", "hevc", "hevx",
                                            "heim", "heis", "hevm", "hevs"};
    return std::any_of(std::begin(kBrands), std::end(kBrands),
                       [&](std::string_view b) { return brand == FourCC(b); });
}

// Brands that say only "an image file of this family"; the other brands
// tell HEIC from AVIF.
bool IsImageFileBrand(std::uint32_t brand) {
    return brand == FourCC("mif1") || brand == FourCC("msf1") || brand == FourCC("mif2") ||
           brand == FourCC("miaf");
}

PhotoFormat FormatOfBrands(std::uint32_t major, const ByteView& compatible) {
    if (major == FourCC("crx ")) return PhotoFormat::Cr3;
    if (IsAvifBrand(major)) return PhotoFormat::Avif;
    if (IsHeifBrand(major)) return PhotoFormat::Heif;
    bool imageFile = IsImageFileBrand(major);
    bool avif = false, heif = false;
    for (std::uint64_t at = 0; at + 4 <= compatible.size(); at += 4) {
        const std::uint32_t brand = compatible.u32(at);
        avif = avif || IsAvifBrand(brand);
        heif = heif || IsHeifBrand(brand);
        imageFile = imageFile || IsImageFileBrand(brand);
    }
    if (avif) return PhotoFormat::Avif;
    if (heif || imageFile) return PhotoFormat::Heif;
    return PhotoFormat::Unknown;
}

}  // namespace

void ScanBmff(BufferedWindow& window, ContainerScan& scan) {
    constexpr std::uint64_t kMaxBrands = 64;
    const std::uint64_t fileSize = window.sourceSize();
    BoxReader reader(window);
    const std::optional<Box> ftyp = reader.at(0, fileSize);
    if (!ftyp || ftyp->type != FourCC("ftyp") || ftyp->end - ftyp->payload < 8) return;
    const std::uint64_t brands = std::min((ftyp->end - ftyp->payload - 8) / 4, kMaxBrands);
    const ByteView head = window.exact(ftyp->payload, 8 + brands * 4, true);
    if (head.empty()) return;
    scan.format = FormatOfBrands(head.u32(0), head.sub(8, brands * 4));
    if (scan.format == PhotoFormat::Cr3) {
        FindCanonBlocks(reader, fileSize, scan);
        FindCanonXmp(reader, fileSize, scan.embedded);
    } else if (scan.format != PhotoFormat::Unknown) {
        if (const std::optional<Box> meta = reader.find(ftyp->end, fileSize, FourCC("meta")))
            FindExifItem(reader, *meta, scan);
    }
}

}  // namespace reader
