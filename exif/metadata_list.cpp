#include "exif/metadata_list.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "exif/decode_slots.h"
#include "exif/tag_catalogue.h"
#include "exif/text_decode.h"
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

// The most of one value that is read. No rule reads more than a few elements
// of a number list, and a text longer than this is no longer read by anyone:
// it is cut here, and the cut is marked. A file claiming gigabytes of value
// then costs no more than this.
constexpr std::uint32_t kValueCap = 1u << 20;
constexpr std::string_view kCutMark = "…";

bool ShowsText(const CatalogueEntry& row) {
    return std::any_of(std::begin(row.pieces), std::end(row.pieces),
                       [](const Piece& piece) { return piece.kind == PieceKind::Text; });
}

// The length of `bytes` without a UTF-8 character that the cut left
// incomplete at its end; all of it when the text is not UTF-8.
std::uint32_t WholeCharacters(const std::uint8_t* bytes, std::uint32_t length) {
    for (std::uint32_t back = 1; back <= 3 && back <= length; ++back) {
        const std::uint8_t byte = bytes[length - back];
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::uint32_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        const std::uint32_t kept = length - back;
        return needed > back && IsValidUtf8(bytes, kept) ? kept : length;
    }
    return length;
}

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
        // A tag the list does not show gives no entry whatever its value:
        // the value is not read at all.
        const CatalogueEntry* row = FindTag(id);
        if (row == nullptr) continue;
        DecodeSlots item;
        bool cut = false;
        std::uint32_t size = 0;
        if (reader::GdipGetPropertyItemSize(image, id, &size, occurrence) == reader::Ok &&
            size >= sizeof(reader::PropertyItem)) {
            const std::uint32_t fetched = std::min<std::uint32_t>(size, sizeof(reader::PropertyItem) + kValueCap);
            const std::size_t words = (std::size_t{fetched} + 7) / 8;
            if (buffer.size() < words) buffer.resize(words);
            // Only the record needs clearing: the value bytes are read only
            // when a successful fetch has filled them.
            std::memset(buffer.data(), 0, sizeof(reader::PropertyItem));
            auto* record = reinterpret_cast<reader::PropertyItem*>(buffer.data());
            // An item that cannot be fetched has no value: its entry, if any,
            // keeps its label with an empty value.
            const reader::GpStatus status =
                fetched == size ? reader::GdipGetPropertyItem(image, id, size, record, occurrence)
                                : reader::GdipGetPropertyItemPart(image, id, fetched, record, occurrence);
            if (status == reader::Ok) {
                cut = record->length < size - sizeof(reader::PropertyItem);
                if (cut && ShowsText(*row)) record->length = WholeCharacters(record->value, record->length);
                item = DecodeItem(buffer.data(), fetched, image->bigEndian());
            }
        }
        MetadataEntry& entry = entries[entryCount];
        entry.tag = id;
        if (FormatItem(id, item, entry) && !entry.label.empty()) {
            if (cut && ShowsText(*row)) entry.value += kCutMark;
            ++entryCount;
        }
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
