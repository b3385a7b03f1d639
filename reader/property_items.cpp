#include "reader/property_items.h"

#include "reader/property_block_cache.h"
#include "reader/property_containers.h"
#include "reader/property_tiff_walk.h"

#include <algorithm>
#include <numeric>

namespace reader {
namespace {

constexpr std::uint64_t kCachedBlockLimit = 1u << 20;

// Makes a big-endian value little-endian, unit by unit.
void SwapUnits(std::span<std::uint8_t> bytes, std::uint32_t unit) {
    if (unit < 2) return;
    for (std::size_t at = 0; at + unit <= bytes.size(); at += unit) {
        std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + unit));
    }
}

}  // namespace

PropertyImage PropertyImage::Open(std::unique_ptr<ByteSource> source) {
    PropertyImage image;
    if (!source) return image;
    ContainerScan scan = ScanContainer(*source);
    image.format_ = scan.format;
    if (scan.assembled) {
        // The Exif bytes were put together from the file: they are the source now.
        source = MemorySource(std::move(*scan.assembled));
    } else if (!scan.inPlace && !scan.blocks.empty()) {
        // An Exif block inside a container is small (a JPEG segment holds at
        // most 64 KiB): one read brings every directory and value. A TIFF
        // file is all block, so it is read where its directories lie.
        std::uint64_t first = UINT64_MAX, end = 0;
        for (const TiffBlock& block : scan.blocks) {
            first = std::min(first, block.offset);
            end = std::max(end, block.offset + block.size);
        }
        if (end - first <= kCachedBlockLimit) source = CacheRange(std::move(source), first, end - first);
    }
    for (const TiffBlock& block : scan.blocks) ListTiffItems(*source, block, image.items_);

    image.byId_.resize(image.items_.size());
    std::iota(image.byId_.begin(), image.byId_.end(), 0u);
    std::stable_sort(image.byId_.begin(), image.byId_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return image.items_[a].id < image.items_[b].id;
    });
    image.source_ = std::move(source);
    return image;
}

bool PropertyImage::readValue(const ItemLocation& item, std::uint8_t* out, std::uint32_t length) const {
    if (length > item.length) return false;
    if (length == 0) return true;
    if (!out) return false;
    const std::span<std::uint8_t> value(out, length);
    if (item.isInline) {
        if (length > sizeof item.inlineBytes) return false;
        std::copy_n(std::begin(item.inlineBytes), length, value.begin());
    } else if (!source_ || !source_->read(item.offset, value)) {
        return false;
    }
    if (item.bigEndian) SwapUnits(value, PropertySwapUnit(item.type));
    return true;
}

const PropertyImage::ItemLocation* PropertyImage::find(std::uint32_t id, std::uint32_t occurrence) const {
    const auto first = std::lower_bound(byId_.begin(), byId_.end(), id,
                                        [&](std::uint32_t index, std::uint32_t wanted) {
                                            return items_[index].id < wanted;
                                        });
    if (static_cast<std::uint64_t>(byId_.end() - first) <= occurrence) return nullptr;
    const ItemLocation& item = items_[first[occurrence]];
    return item.id == id ? &item : nullptr;
}

GpStatus GdipGetPropertyCount(const PropertyImage* image, std::uint32_t* count) {
    if (!image || !count) return InvalidParameter;
    *count = static_cast<std::uint32_t>(image->items().size());
    return Ok;
}

GpStatus GdipGetPropertyIdList(const PropertyImage* image, std::uint32_t count, std::uint32_t* list) {
    if (!image) return InvalidParameter;
    const auto& items = image->items();
    if (count != items.size()) return InvalidParameter;
    if (count == 0) return Ok;
    if (!list) return InvalidParameter;
    const std::span<std::uint32_t> ids(list, count);
    std::transform(items.begin(), items.end(), ids.begin(), [](const auto& item) { return item.id; });
    return Ok;
}

GpStatus GdipGetPropertyItemSize(const PropertyImage* image, std::uint32_t id, std::uint32_t* size,
                                 std::uint32_t occurrence) {
    if (!image || !size) return InvalidParameter;
    const PropertyImage::ItemLocation* item = image->find(id, occurrence);
    if (!item) return PropertyNotFound;
    // The reader lists no item whose length would overflow this sum.
    *size = static_cast<std::uint32_t>(sizeof(PropertyItem) + item->length);
    return Ok;
}

namespace {

// Fills `buffer` with the record and the first `length` value bytes.
GpStatus FillItem(const PropertyImage& image, const PropertyImage::ItemLocation& item, std::uint32_t length,
                  PropertyItem* buffer) {
    auto* value = reinterpret_cast<std::uint8_t*>(buffer) + sizeof(PropertyItem);
    // The value first: a value that can no longer be read leaves the buffer
    // as the caller gave it.
    if (!image.readValue(item, value, length)) return GenericError;
    buffer->id = item.id;
    buffer->length = length;
    buffer->type = item.type;
    buffer->padding = 0;
    buffer->value = value;
    return Ok;
}

}  // namespace

GpStatus GdipGetPropertyItem(const PropertyImage* image, std::uint32_t id, std::uint32_t size,
                             PropertyItem* buffer, std::uint32_t occurrence) {
    if (!image || !buffer) return InvalidParameter;
    const PropertyImage::ItemLocation* item = image->find(id, occurrence);
    if (!item) return PropertyNotFound;
    if (size != sizeof(PropertyItem) + std::uint64_t{item->length}) return InvalidParameter;
    return FillItem(*image, *item, item->length, buffer);
}

GpStatus GdipGetPropertyItemPart(const PropertyImage* image, std::uint32_t id, std::uint32_t size,
                                 PropertyItem* buffer, std::uint32_t occurrence) {
    if (!image || !buffer) return InvalidParameter;
    const PropertyImage::ItemLocation* item = image->find(id, occurrence);
    if (!item) return PropertyNotFound;
    if (size < sizeof(PropertyItem)) return InvalidParameter;
    std::uint32_t length = std::min<std::uint32_t>(item->length, size - sizeof(PropertyItem));
    // Whole elements only, so that a big-endian value swaps as it should.
    if (length < item->length) length -= length % std::max<std::uint32_t>(PropertyElementSize(item->type), 1);
    return FillItem(*image, *item, length, buffer);
}

}  // namespace reader
