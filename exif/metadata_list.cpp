#include "exif/metadata_list.h"

#include <bit>
#include <cstring>

#include "exif/decode_slots.h"
#include "exif/tag_catalogue.h"
#include "reader/property_items.h"

namespace exif {
namespace {

// Counts how often each tag number has been seen so far in one walk. GDI+
// finds an item by tag number, so a repeated tag would show its first item
// each time; the j-th appearance of a number asks for its j-th item instead.
// Open addressing in two flat arrays: no allocation per item, O(1) per item.
class OccurrenceCounter {
public:
    explicit OccurrenceCounter(std::size_t items)
        : mask_(std::bit_ceil(2 * items + 2) - 1),
          shift_(64 - std::countr_zero(mask_ + 1)),
          ids_(mask_ + 1),
          seen_(mask_ + 1, 0) {}

    // How many times `id` was counted before this call.
    std::uint32_t Next(std::uint32_t id) {
        // Fibonacci hashing takes the high bits of the product, which depend
        // on every bit of the tag number.
        std::size_t slot = static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ull) >> shift_);
        while (seen_[slot] != 0 && ids_[slot] != id) slot = (slot + 1) & mask_;
        ids_[slot] = id;
        return seen_[slot]++;
    }

private:
    std::size_t mask_;
    int shift_;
    std::vector<std::uint32_t> ids_;
    std::vector<std::uint32_t> seen_;  // 0 marks a free slot
};

}  // namespace

void MetadataList::LoadMetadata(const reader::PropertyImage* image) {
    entries.clear();
    entryCount = 0;
    std::uint32_t count = 0;
    if (image == nullptr || reader::GdipGetPropertyCount(image, &count) != reader::Ok || count == 0) return;
    std::vector<std::uint32_t> ids(count);
    if (reader::GdipGetPropertyIdList(image, count, ids.data()) != reader::Ok) return;

    entries.resize(count);
    OccurrenceCounter occurrences(count);
    // One buffer serves every item; 64-bit words keep the record aligned.
    std::vector<std::uint64_t> buffer;

    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t id = ids[i];
        const std::uint32_t occurrence = occurrences.Next(id);
        DecodeSlots item;
        std::uint32_t size = 0;
        if (reader::GdipGetPropertyItemSize(image, id, &size, occurrence) == reader::Ok &&
            size >= sizeof(reader::PropertyItem)) {
            const std::size_t words = (std::size_t{size} + 7) / 8;
            if (buffer.size() < words) buffer.resize(words);
            // Only the record needs clearing: the value bytes are read only
            // when a successful fetch has filled them.
            std::memset(buffer.data(), 0, sizeof(reader::PropertyItem));
            auto* record = reinterpret_cast<reader::PropertyItem*>(buffer.data());
            // An item that cannot be fetched has no value: its entry, if any,
            // keeps its label with an empty value.
            if (reader::GdipGetPropertyItem(image, id, size, record, occurrence) == reader::Ok)
                item = DecodeItem(buffer.data(), size, image->bigEndian());
        }
        entries[entryCount].tag = id;
        if (FormatItem(id, item, entries[entryCount]) && !entries[entryCount].label.empty()) ++entryCount;
    }
    entries.resize(entryCount);
}

void MetadataList::SetPhoto(const std::string& path) {
    photoFilePath = path;
    const std::size_t at = path.rfind('/');
    photoFileName = at == std::string::npos ? path : path.substr(at + 1);
}

void MetadataList::GetExifData(std::vector<std::string>& labels, std::vector<std::string>& values) const {
    labels.assign(entryCount, {});
    values.assign(entryCount, {});
    for (std::size_t k = 0; k < entryCount; ++k) {
        labels[k] = entries[k].label;
        values[k] = entries[k].value;
    }
}

}  // namespace exif
