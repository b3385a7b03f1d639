// Property items of a photo file: tag number, type code, byte length and value
// bytes in little-endian order, in the order the file lists them; and the
// other metadata blocks a photo carries beside its Exif (XMP, IPTC, ICC).
// Plain C++ (no Qt), so the metadata core can be fuzzed and reused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "reader/embedded_blocks.h"

namespace reader {

// EXIF/TIFF value type codes.
enum PropertyType : std::uint16_t {
    PropertyTypeByte = 1,
    PropertyTypeAscii = 2,
    PropertyTypeShort = 3,
    PropertyTypeLong = 4,
    PropertyTypeRational = 5,
    PropertyTypeSByte = 6,
    PropertyTypeUndefined = 7,
    PropertyTypeSShort = 8,
    PropertyTypeSLong = 9,
    PropertyTypeSRational = 10,
    PropertyTypeFloat = 11,
    PropertyTypeDouble = 12,
    PropertyTypeIfd = 13,
    PropertyTypeUtf8 = 129,  // Exif 3.0: text that is UTF-8 whatever the platform
};

// Orf and Rw2 are TIFF files with a header of their own; DNG, CR2, NEF,
// ARW and the like read as Tiff.
enum class PhotoFormat { Unknown, Jpeg, Tiff, Png, WebP, Bmp, Gif, Heif, Avif, Cr3, Orf, Rw2, Raf };

// Where the reader gets its bytes: the metadata is usually a small part of a
// large file, so the reader asks for ranges instead of loading the whole file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `out` with the bytes at `offset`; false when the range does not
    // lie inside the source or cannot be read.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

std::unique_ptr<ByteSource> MemorySource(std::vector<std::uint8_t> bytes);
// Nullptr (with errno set) when the file cannot be opened; a folder is
// refused with EISDIR. Reads only the ranges asked for, never the whole file.
std::unique_ptr<ByteSource> FileSource(const std::string& path);

// The property items of one photo, found when the image is opened. Values are
// fetched from the source on demand, one item at a time.
class PropertyImage {
public:
    struct ItemLocation {
        std::uint32_t id = 0;  // the tag; IFD1's tags renumbered 0x5020 and up (see the walk)
        std::uint16_t type = 0;
        std::uint32_t count = 0;   // elements
        std::uint32_t length = 0;  // bytes: count x element size
        std::uint64_t offset = 0;  // of the value in the source (unused when inline)
        // Of the value from its TIFF header: the base of the offsets inside
        // a maker note (unused when inline).
        std::uint64_t tiffOffset = 0;
        bool bigEndian = false;
        bool isInline = false;
        std::uint8_t inlineBytes[4] = {};
    };

    // Recognises the container and lists the items. Never throws for bad data:
    // an unrecognised file gives format Unknown and no items, a broken one the
    // items that could be read safely.
    static PropertyImage Open(std::unique_ptr<ByteSource> source);

    PhotoFormat format() const { return format_; }
    const std::vector<ItemLocation>& items() const { return items_; }
    // The byte order of the TIFF block the items come from. Values are handed
    // out little-endian element by element, but an UNDEFINED value keeps its
    // bytes as stored, and some (a Unicode user comment) follow this order.
    bool bigEndian() const { return !items_.empty() && items_.front().bigEndian; }

    // Copies the first `length` bytes of the item's value (at most its
    // length, in whole elements), converted to little-endian element by
    // element, into `out`. False when it can no longer be read.
    bool readValue(const ItemLocation& item, std::uint8_t* out, std::uint32_t length) const;

    // The start of the item's value, little-endian element by element, into
    // `out` (resized to it): all of it, or as many whole elements as fit in
    // `limit` bytes; `out` shorter than the item's length says it was cut.
    // False (and `out` empty) when the value can no longer be read.
    bool readValue(const ItemLocation& item, std::vector<std::uint8_t>& out,
                   std::uint32_t limit = UINT32_MAX) const;

    // The first `limit` bytes of the value as the file stores them, not
    // swapped: blocks kept in a number type (IPTC as LONG) are bytes.
    bool readStored(const ItemLocation& item, std::vector<std::uint8_t>& out,
                    std::uint32_t limit) const;

    // The item listed `occurrence`-th (0 = first) with this id, or nullptr.
    // O(log n): a walk asks for every one of tens of thousands of items.
    const ItemLocation* find(std::uint32_t id, std::uint32_t occurrence = 0) const;

    // XMP, IPTC and the colour profile, each within its cap (see
    // embedded_blocks.h); empty when the photo has none.
    const EmbeddedBlocks& embedded() const { return embedded_; }

    // The size of the file the items came from; 0 for a source without a
    // size (a pipe, a device).
    std::uint64_t fileSize() const { return fileSize_; }

private:
    void takeBlocksFromItems();

    std::unique_ptr<ByteSource> source_;
    PhotoFormat format_ = PhotoFormat::Unknown;
    std::vector<ItemLocation> items_;
    EmbeddedBlocks embedded_;
    std::uint64_t fileSize_ = 0;
    std::vector<std::uint32_t> byId_;  // indices into items_, by id, then list order
};

}  // namespace reader
