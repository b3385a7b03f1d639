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
    image.fileSize_ = source->size();
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
        if (first == scan.copyOffset && end - first == scan.copy.size()) {
            source = KeepRange(std::move(source), first, std::move(scan.copy));
        } else if (end - first <= kCachedBlockLimit) {
            source = CacheRange(std::move(source), first, end - first);
        }
    }
    for (const TiffBlock& block : scan.blocks) ListTiffItems(*source, block, image.items_);

    image.byId_.resize(image.items_.size());
    std::iota(image.byId_.begin(), image.byId_.end(), 0u);
    std::stable_sort(image.byId_.begin(), image.byId_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return image.items_[a].id < image.items_[b].id;
    });
    image.source_ = std::move(source);
    image.embedded_ = std::move(scan.embedded);
    image.takeBlocksFromItems();
    return image;
}

// A TIFF (and the raw files built on it) keeps XMP, IPTC and the colour
// profile as IFD0 tags. A block larger than its cap is left out whole: cut,
// it would not parse.
void PropertyImage::takeBlocksFromItems() {
    const auto take = [&](std::uint32_t id, std::vector<std::uint8_t>& block, std::uint32_t cap) {
        const ItemLocation* item = find(id);
        if (!block.empty() || !item || item->length > cap) return;
        if (!readStored(*item, block, cap)) block.clear();
    };
    take(0x02BC, embedded_.xmp, kMaxXmpBytes);
    take(0x83BB, embedded_.iptc, kMaxIptcBytes);
    take(0x8773, embedded_.icc, kMaxIccBytes);
}

bool PropertyImage::readValue(const ItemLocation& item, std::uint8_t* out,
                              std::uint32_t length) const {
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

const PropertyImage::ItemLocation* PropertyImage::find(std::uint32_t id,
                                                       std::uint32_t occurrence) const {
    const auto first = std::lower_bound(
        byId_.begin(), byId_.end(), id,
        [&](std::uint32_t index, std::uint32_t wanted) { return items_[index].id < wanted; });
    if (static_cast<std::uint64_t>(byId_.end() - first) <= occurrence) return nullptr;
    const ItemLocation& item = items_[first[occurrence]];
    return item.id == id ? &item : nullptr;
}

bool PropertyImage::readValue(const ItemLocation& item, std::vector<std::uint8_t>& out,
                              std::uint32_t limit) const {
    std::uint32_t length = std::min(item.length, limit);
    // Whole elements only, so that a big-endian value swaps as it should.
    if (length < item.length)
        length -= length % std::max<std::uint32_t>(PropertyElementSize(item.type), 1);
    out.resize(length);
    if (readValue(item, out.data(), length)) return true;
    out.clear();
    return false;
}

bool PropertyImage::readStored(const ItemLocation& item, std::vector<std::uint8_t>& out,
                               std::uint32_t limit) const {
    if (!readValue(item, out, limit)) return false;
    // Back to the file's order, unit by unit as readValue swapped it.
    if (item.bigEndian) SwapUnits(out, PropertySwapUnit(item.type));
    return true;
}

std::vector<std::uint8_t> JoinExtendedXmp(const std::vector<ExtendedXmpPart>& parts,
                                          const std::array<std::uint8_t, 32>& guid) {
    std::uint32_t fullLength = 0;
    for (const ExtendedXmpPart& part : parts) {
        if (part.guid == guid) {
            fullLength = part.fullLength;
            break;
        }
    }
    if (fullLength == 0 || fullLength > kMaxExtendedXmpBytes) return {};
    // Parts may come in any order and overlap; what counts is that together
    // they cover every byte once named.
    std::vector<std::uint8_t> joined(fullLength);
    std::vector<bool> covered(fullLength, false);
    for (const ExtendedXmpPart& part : parts) {
        if (part.guid != guid || part.fullLength != fullLength || part.offset > fullLength ||
            part.bytes.size() > fullLength - part.offset)
            continue;
        std::copy(part.bytes.begin(), part.bytes.end(), joined.begin() + part.offset);
        std::fill_n(covered.begin() + part.offset, part.bytes.size(), true);
    }
    if (std::find(covered.begin(), covered.end(), false) != covered.end()) return {};
    return joined;
}

}  // namespace reader
