#include "exif/metadata_list.h"

#include <algorithm>
#include <string_view>

#include "exif/decode_slots.h"
#include "exif/extra_rows.h"
#include "exif/tag_catalogue.h"
#include "exif/text_decode.h"
#include "reader/property_items.h"

namespace exif {
namespace {

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
    if (image == nullptr) return;
    entries.reserve(image->items().size() + ExtraRows().size());
    // One buffer serves every item.
    std::vector<std::uint8_t> value;
    for (const reader::PropertyImage::ItemLocation& location : image->items()) {
        // A tag the list does not show gives no entry whatever its value:
        // the value is not read at all.
        const CatalogueEntry* row = FindTag(location.id);
        if (row == nullptr) continue;
        DecodeSlots item;
        bool cut = false;
        // An item that can no longer be read has no value: its entry keeps
        // its label with an empty value.
        if (image->readValue(location, value, kValueCap)) {
            cut = value.size() < location.length;
            std::uint32_t length = static_cast<std::uint32_t>(value.size());
            if (cut && ShowsText(*row)) length = WholeCharacters(value.data(), length);
            item = DecodeSlots(location.type, std::span<const std::uint8_t>(value.data(), length),
                               image->bigEndian());
        }
        MetadataEntry& entry = entries.emplace_back();
        entry.tag = location.id;
        FormatItem(location.id, item, entry);
        if (cut && ShowsText(*row)) entry.value += kCutMark;
    }
    AppendExtraRows(*image, entries);
    entryCount = entries.size();
}

void MetadataList::SetPhoto(const std::string& path) {
    photoFilePath = path;
    const std::size_t at = path.rfind('/');
    photoFileName = at == std::string::npos ? path : path.substr(at + 1);
}

void MetadataList::GetExifData(std::vector<std::string>& labels,
                               std::vector<std::string>& values) const {
    labels.assign(entryCount, {});
    values.assign(entryCount, {});
    for (std::size_t k = 0; k < entryCount; ++k) {
        labels[k] = entries[k].label;
        values[k] = entries[k].value;
    }
}

}  // namespace exif
