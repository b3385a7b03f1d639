// Property items of a photo file, handed out the way GDI+ hands them out:
// tag number, type code, byte length and value bytes in little-endian order.
// Plain C++ (no Qt), so the metadata core can be fuzzed and reused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

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
};

// The record at the start of an item buffer; the value bytes follow it in the
// same buffer and `value` points at them.
struct PropertyItem {
    std::uint32_t id = 0;
    std::uint32_t length = 0;
    std::uint16_t type = 0;
    std::uint16_t padding = 0;
    const std::uint8_t* value = nullptr;
};

// Orf and Rw2 are TIFF files with a header of their own; DNG, CR2, NEF,
// ARW and the like read as Tiff.
enum class PhotoFormat { Unknown, Jpeg, Tiff, Png, WebP, Bmp, Gif, Heif, Avif, Cr3, Orf, Rw2, Raf };

// GDI+ status codes that the operations below return.
enum GpStatus : int {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    FileNotFound = 10,
    UnknownImageFormat = 13,
    PropertyNotFound = 19,
};

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
        std::uint32_t id = 0;        // GDI+ numbering (thumbnail tags remapped)
        std::uint16_t type = 0;
        std::uint32_t count = 0;     // elements
        std::uint32_t length = 0;    // bytes: count x element size
        std::uint64_t offset = 0;    // of the value in the source (unused when inline)
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

    // The item listed `occurrence`-th (0 = first) with this id, or nullptr.
    // O(log n): a walk asks for every one of tens of thousands of items.
    const ItemLocation* find(std::uint32_t id, std::uint32_t occurrence) const;

private:
    std::unique_ptr<ByteSource> source_;
    PhotoFormat format_ = PhotoFormat::Unknown;
    std::vector<ItemLocation> items_;
    std::vector<std::uint32_t> byId_;  // indices into items_, by id, then list order
};

// The GDI+ flat property-item operations over a PropertyImage.
//
// GDI+ finds an item by tag number alone, so a tag listed twice would hand out
// the first item twice. `occurrence` picks the n-th item with that number
// (0 = the first), which lets a walk over the id list read every item's own
// value.
GpStatus GdipGetPropertyCount(const PropertyImage* image, std::uint32_t* count);
GpStatus GdipGetPropertyIdList(const PropertyImage* image, std::uint32_t count,
                               std::uint32_t* list);
GpStatus GdipGetPropertyItemSize(const PropertyImage* image, std::uint32_t id,
                                 std::uint32_t* size, std::uint32_t occurrence = 0);
GpStatus GdipGetPropertyItem(const PropertyImage* image, std::uint32_t id,
                             std::uint32_t size, PropertyItem* buffer,
                             std::uint32_t occurrence = 0);
// GdipGetPropertyItem for a buffer of any `size` from the record's up: fills
// it with the record and as many whole elements of the value as fit. The
// record's `length` says how many value bytes were filled, so the buffer
// reads as an item of that length. A caller that uses only the start of a
// long value reads no more of it than that.
GpStatus GdipGetPropertyItemPart(const PropertyImage* image, std::uint32_t id,
                                 std::uint32_t size, PropertyItem* buffer,
                                 std::uint32_t occurrence = 0);

}  // namespace reader
