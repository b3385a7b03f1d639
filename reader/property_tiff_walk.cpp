#include "reader/property_tiff_walk.h"

#include "reader/property_source_window.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace reader {
namespace {

using namespace std::string_view_literals;

struct TypeInfo {
    std::uint16_t type;
    std::uint32_t elementSize;
    std::uint32_t swapUnit;
};

constexpr std::array<TypeInfo, 14> kTypes{{
    {PropertyTypeByte, 1, 1},
    {PropertyTypeAscii, 1, 1},
    {PropertyTypeShort, 2, 2},
    {PropertyTypeLong, 4, 4},
    {PropertyTypeRational, 8, 4},
    {PropertyTypeSByte, 1, 1},
    {PropertyTypeUndefined, 1, 1},
    {PropertyTypeSShort, 2, 2},
    {PropertyTypeSLong, 4, 4},
    {PropertyTypeSRational, 8, 4},
    {PropertyTypeFloat, 4, 4},
    {PropertyTypeDouble, 8, 8},
    {PropertyTypeIfd, 4, 4},
    {PropertyTypeUtf8, 1, 1},
}};

const TypeInfo* FindType(std::uint16_t type) {
    for (const TypeInfo& info : kTypes) {
        if (info.type == type) return &info;
    }
    return nullptr;
}

// IFD1 (the thumbnail's directory) reuses the main image's tag numbers; its
// items take numbers of their own (0x5020 and up, as Windows numbers them) so
// they cannot be mistaken for the main image's. Tags not in this table are
// not listed.
struct ThumbnailTag {
    std::uint16_t tag;
    std::uint32_t id;
};

constexpr std::array<ThumbnailTag, 30> kThumbnailTags{{
    {0x0100, 0x5020}, {0x0101, 0x5021}, {0x0102, 0x5022}, {0x0103, 0x5023}, {0x0106, 0x5024},
    {0x010E, 0x5025}, {0x010F, 0x5026}, {0x0110, 0x5027}, {0x0111, 0x5028}, {0x0112, 0x5029},
    {0x0115, 0x502A}, {0x0116, 0x502B}, {0x0117, 0x502C}, {0x011A, 0x502D}, {0x011B, 0x502E},
    {0x011C, 0x502F}, {0x0128, 0x5030}, {0x012D, 0x5031}, {0x0131, 0x5032}, {0x0132, 0x5033},
    {0x013B, 0x5034}, {0x013E, 0x5035}, {0x013F, 0x5036}, {0x0211, 0x5037}, {0x0212, 0x5038},
    {0x0213, 0x5039}, {0x0214, 0x503A}, {0x8298, 0x503B}, {0x0201, 0x0201}, {0x0202, 0x0202},
}};

std::optional<std::uint32_t> ThumbnailId(std::uint16_t tag) {
    for (const ThumbnailTag& entry : kThumbnailTags) {
        if (entry.tag == tag) return entry.id;
    }
    return std::nullopt;
}

constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kGpsPointer = 0x8825;
constexpr std::uint64_t kEntrySize = 12;
// Entries allowed beyond one per 12 bytes of block: room for tiny blocks.
constexpr std::uint64_t kEntrySlack = 16;

enum class Directory { Main, Exif, Gps, Thumbnail };

class TiffWalk {
public:
    TiffWalk(const ByteSource& source, const TiffBlock& block, bool bigEndian,
             std::vector<PropertyImage::ItemLocation>& items)
        : window_(source),
          block_(block),
          bigEndian_(bigEndian),
          items_(items),
          entriesLeft_(block.size / kEntrySize + kEntrySlack),
          valueBytesLeft_(block.size) {}

    void run(std::uint32_t ifd0) {
        switch (block_.role) {
        case TiffRole::Whole: {
            const std::optional<std::uint32_t> ifd1 = directory(ifd0, Directory::Main);
            for (const auto& [kind, offset] : subDirectories_) directory(offset, kind);
            if (ifd1) directory(*ifd1, Directory::Thumbnail);
            return;
        }
        // A directory in a block of its own: the blocks of the other
        // directories come in their own turn.
        case TiffRole::Ifd0: directory(ifd0, Directory::Main); return;
        case TiffRole::Exif: directory(ifd0, Directory::Exif); return;
        case TiffRole::Gps: directory(ifd0, Directory::Gps); return;
        }
    }

private:
    // Lists the directory's entries; for IFD0, returns the offset of the next
    // directory (IFD1).
    std::optional<std::uint32_t> directory(std::uint32_t offset, Directory kind) {
        // Each directory is read once: a pointer back to a directory already
        // read would list its items twice or loop.
        if (offset == 0 || std::find(visited_.begin(), visited_.end(), offset) != visited_.end())
            return std::nullopt;
        visited_.push_back(offset);

        const ByteView countBytes = read(offset, 2);
        if (countBytes.empty()) return std::nullopt;
        const std::uint64_t declared = countBytes.u16(0);
        const std::uint64_t first = std::uint64_t{offset} + 2;
        const std::uint64_t fitting = std::min(declared, (block_.size - first) / kEntrySize);
        // Budget: however the directories overlap, no more entries are read in
        // all than the block could hold side by side.
        const std::uint64_t taken = std::min(fitting, entriesLeft_);
        entriesLeft_ -= taken;

        std::optional<std::uint32_t> next;
        if (kind == Directory::Main) {
            const ByteView nextBytes = read(first + declared * kEntrySize, 4);
            if (!nextBytes.empty()) next = nextBytes.u32(0);
        }

        const ByteView entries = read(first, taken * kEntrySize);
        for (std::uint64_t i = 0; i < taken; ++i) {
            entry(entries.sub(i * kEntrySize, kEntrySize), first + i * kEntrySize, kind);
        }
        return next;
    }

    void entry(const ByteView& bytes, std::uint64_t at, Directory kind) {
        const std::uint16_t tag = bytes.u16(0);
        const std::uint16_t type = bytes.u16(2);
        const std::uint32_t count = bytes.u32(4);
        if (!bytes.ok()) return;

        std::uint32_t id = tag;
        if (kind == Directory::Main && tag < block_.firstIfd0Tag) return;
        if (kind == Directory::Thumbnail) {
            const std::optional<std::uint32_t> thumbnailId = ThumbnailId(tag);
            if (!thumbnailId) return;
            id = *thumbnailId;
        }
        const TypeInfo* info = FindType(type);
        if (!info) return;
        const std::optional<std::uint32_t> length = CheckedByteCount(count, info->elementSize);
        if (!length) return;

        PropertyImage::ItemLocation item;
        item.id = id;
        item.type = type;
        item.count = count;
        item.length = *length;
        item.bigEndian = bigEndian_;
        if (*length <= 4) {
            item.isInline = true;
            item.offset = block_.offset + at + 8;
            for (std::size_t k = 0; k < 4; ++k) item.inlineBytes[k] = bytes.u8(8 + k);
        } else {
            const std::uint64_t valueOffset = bytes.u32(8);
            if (valueOffset > block_.size || *length > block_.size - valueOffset) return;
            // Budget: entries that share one large value must not multiply it.
            if (*length > valueBytesLeft_) return;
            valueBytesLeft_ -= *length;
            item.offset = block_.offset + valueOffset;
            item.tiffOffset = valueOffset;
        }
        items_.push_back(item);

        // Some cameras store a pointer as SLONG; a negative one points nowhere.
        const std::uint32_t pointer = bytes.u32(8);
        const bool pointerType = type == PropertyTypeLong || type == PropertyTypeIfd ||
                                 (type == PropertyTypeSLong && pointer <= INT32_MAX);
        if (kind == Directory::Main && (tag == kExifPointer || tag == kGpsPointer) && pointerType &&
            count == 1) {
            const Directory target = tag == kExifPointer ? Directory::Exif : Directory::Gps;
            // The first pointer of each kind is followed; later ones are items only.
            const bool seen = std::any_of(subDirectories_.begin(), subDirectories_.end(),
                                          [&](const auto& sub) { return sub.first == target; });
            if (!seen) subDirectories_.emplace_back(target, pointer);
        }
    }

    // Exactly `length` bytes at `offset` of the block, or an empty view.
    ByteView read(std::uint64_t offset, std::uint64_t length) {
        if (offset > block_.size || length > block_.size - offset) return ByteView({}, bigEndian_);
        return window_.exact(block_.offset + offset, length, bigEndian_);
    }

    SourceWindow window_;
    TiffBlock block_;
    bool bigEndian_;
    std::vector<PropertyImage::ItemLocation>& items_;
    std::uint64_t entriesLeft_;
    std::uint64_t valueBytesLeft_;
    std::vector<std::uint32_t> visited_;
    std::vector<std::pair<Directory, std::uint32_t>> subDirectories_;
};

}  // namespace

std::uint32_t PropertyElementSize(std::uint16_t type) {
    const TypeInfo* info = FindType(type);
    return info ? info->elementSize : 0;
}

std::uint32_t PropertySwapUnit(std::uint16_t type) {
    const TypeInfo* info = FindType(type);
    return info ? info->swapUnit : 1;
}

void ListTiffItems(const ByteSource& source, const TiffBlock& block,
                   std::vector<PropertyImage::ItemLocation>& items) {
    // The magic numbers of raw files that are TIFF with a header of their
    // own: Olympus ORF ("IIRO", "IIRS", "MMOR") and Panasonic RW2 ("IIU\0").
    constexpr std::uint16_t kRawMagic[] = {0x4F52, 0x5352, 0x0055};
    SourceWindow window(source);
    if (block.size < 8) return;
    const ByteView header = window.exact(block.offset, 8, false);
    bool bigEndian;
    if (header.startsWith("II")) {
        bigEndian = false;
    } else if (header.startsWith("MM")) {
        bigEndian = true;
    } else {
        return;  // not a TIFF header
    }
    const ByteView ordered(header.bytes(), bigEndian);
    const std::uint16_t magic = ordered.u16(2);
    // Anything else is not a TIFF header, or BigTIFF.
    if (magic != 42 && !(block.rawHeader && std::find(std::begin(kRawMagic), std::end(kRawMagic),
                                                      magic) != std::end(kRawMagic)))
        return;
    const std::uint32_t ifd0 = ordered.u32(4);
    TiffWalk(source, block, bigEndian, items).run(ifd0);
}

}  // namespace reader
