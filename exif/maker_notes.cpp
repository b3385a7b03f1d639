#include "exif/maker_notes.h"

#include <string_view>
#include <vector>

#include "exif/number_format.h"
#include "exif/text_decode.h"
#include "reader/byte_view.h"
#include "reader/property_items.h"

namespace exif {
namespace {

using namespace std::string_view_literals;

constexpr std::uint32_t kMake = 0x010F;
constexpr std::uint32_t kMakerNote = 0x927C;
// A maker note is tens of kilobytes; one that claims more is not read.
constexpr std::uint32_t kMaxNote = 1u << 20;
// Entries read from one directory.
constexpr std::uint64_t kMaxEntries = 512;

// One directory of the note: `ifd` its offset in the note; a stored offset
// plus `shift` is an offset in the note.
struct NoteDirectory {
    reader::ByteView note;
    std::uint64_t ifd = 0;
    std::int64_t shift = 0;
};

struct Entry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    reader::ByteView value;  // empty when it lies outside the note
};

std::uint32_t ElementSize(std::uint16_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11:
    case 13: return 4;
    case 5:
    case 10:
    case 12: return 8;
    }
    return 0;
}

std::optional<Entry> Find(const NoteDirectory& dir, std::uint16_t tag) {
    const reader::ByteView& note = dir.note;
    const std::uint64_t count = std::min<std::uint64_t>(note.u16(dir.ifd), kMaxEntries);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = dir.ifd + 2 + 12 * i;
        if (!note.fits(at, 12)) return std::nullopt;
        if (note.u16(at) != tag) continue;
        Entry entry;
        entry.type = note.u16(at + 2);
        entry.count = note.u32(at + 4);
        const std::optional<std::uint32_t> length =
            reader::CheckedByteCount(entry.count, ElementSize(entry.type));
        if (!length || *length == 0) return entry;
        if (*length <= 4) {
            entry.value = note.sub(at + 8, *length);
        } else {
            const std::int64_t offset = std::int64_t{note.u32(at + 8)} + dir.shift;
            if (offset >= 0 && note.fits(static_cast<std::uint64_t>(offset), *length))
                entry.value = note.sub(static_cast<std::uint64_t>(offset), *length);
        }
        return entry;
    }
    return std::nullopt;
}

std::string Text(const std::optional<Entry>& entry) {
    if (!entry || entry->type != 2 || entry->value.empty()) return {};
    std::string text = DecodeText(entry->value.bytes().data(), entry->value.size());
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// "18-55", "50": the numbers with one decimal at most, one when both agree.
std::string Range(double low, double high) {
    std::string text = RoundedText(low, 1);
    const std::string end = RoundedText(high, 1);
    if (end != text) {
        text += '-';
        text += end;
    }
    return text;
}

// 0x0084: four rationals, the focal lengths at both ends and the widest
// apertures there: "18-55mm f/3.5-5.6".
std::string NikonLens(const std::optional<Entry>& entry) {
    if (!entry || entry->type != 5 || entry->count < 4 || entry->value.empty()) return {};
    double numbers[4] = {};
    for (std::uint64_t k = 0; k < 4; ++k) {
        const std::uint32_t denominator = entry->value.u32(8 * k + 4);
        numbers[k] = denominator == 0 ? 0 : double(entry->value.u32(8 * k)) / denominator;
    }
    if (numbers[0] <= 0) return {};
    std::string text = Range(numbers[0], std::max(numbers[0], numbers[1])) + "mm";
    if (numbers[2] > 0) {
        text += " f/";
        text += Range(numbers[2], std::max(numbers[2], numbers[3]));
    }
    return text;
}

// Camera settings: the longest and shortest focal lengths at 23 and 24, in
// units per millimetre at 25.
std::string CanonFocalRange(const std::optional<Entry>& entry) {
    if (!entry || entry->type != 3 || entry->count < 26 || entry->value.empty()) return {};
    const double units = entry->value.u16(2 * 25) == 0 ? 1 : entry->value.u16(2 * 25);
    const double longest = entry->value.u16(2 * 23) / units,
                 shortest = entry->value.u16(2 * 24) / units;
    if (shortest <= 0) return {};
    return Range(shortest, std::max(shortest, longest)) + "mm";
}

bool ByteStarts(const std::vector<std::uint8_t>& bytes, std::string_view prefix) {
    return reader::ByteView(bytes, false).startsWith(prefix);
}

// The note's bytes read in the byte order its header gives.
reader::ByteView Ordered(const reader::ByteView& note, bool bigEndian) {
    return reader::ByteView(note.bytes(), bigEndian);
}

}  // namespace

MakerNoteValues ReadMakerNote(const reader::PropertyImage& image) {
    MakerNoteValues values;
    const reader::PropertyImage::ItemLocation* item = image.find(kMakerNote);
    if (!item || item->isInline || item->length > kMaxNote) return values;
    std::vector<std::uint8_t> bytes;
    if (!image.readStored(*item, bytes, kMaxNote)) return values;
    const reader::ByteView raw(bytes, item->bigEndian);
    // Offsets that count from the TIFF header of the Exif block.
    const std::int64_t fromTiff = -static_cast<std::int64_t>(item->tiffOffset);

    if (raw.startsWith("Nikon\0\x02"sv) && raw.fits(10, 8)) {
        // A TIFF header of its own at 10; offsets count from it.
        const reader::ByteView tiff = raw.sub(10, raw.size() - 10);
        const bool big = tiff.startsWith("MM");
        const reader::ByteView note = Ordered(tiff, big);
        const NoteDirectory dir{note, note.u32(4), 0};
        values.lens = NikonLens(Find(dir, 0x0084));
        if (const auto count = Find(dir, 0x00A7);
            count && count->type == 4 && count->value.size() == 4)
            values.shutterCount = count->value.u32(0);
        return values;
    }
    if (raw.startsWith("OLYMPUS\0"sv) || raw.startsWith("OM SYSTEM\0"sv) ||
        raw.startsWith("OLYMP\0"sv)) {
        // The newer headers give their byte order and count offsets from the
        // note's start; the old "OLYMP" one counts from the TIFF header.
        NoteDirectory dir;
        if (raw.startsWith("OLYMP\0"sv)) {
            dir = {raw, 8, fromTiff};
        } else {
            const std::uint64_t order = raw.startsWith("OM SYSTEM\0"sv) ? 12 : 8;
            dir = {Ordered(raw, raw.sub(order, 2).startsWith("MM")), order + 4, 0};
        }
        const std::optional<Entry> equipment = Find(dir, 0x2010);
        if (!equipment || equipment->count == 0) return values;
        // The equipment directory is a sub-IFD (IFD or LONG: its offset) or
        // kept inline as UNDEFINED bytes (at the value's place).
        std::int64_t at = -1;
        if ((equipment->type == 13 || equipment->type == 4) && equipment->value.size() >= 4) {
            at = std::int64_t{equipment->value.u32(0)} + dir.shift;
        } else if (equipment->type == 7 && !equipment->value.empty()) {
            at = static_cast<std::int64_t>(equipment->value.bytes().data() -
                                           dir.note.bytes().data());
        }
        if (at < 0 || !dir.note.fits(static_cast<std::uint64_t>(at), 2)) return values;
        values.lens =
            Text(Find(NoteDirectory{dir.note, static_cast<std::uint64_t>(at), dir.shift}, 0x0203));
        return values;
    }
    if (raw.startsWith("Panasonic\0\0\0"sv)) {
        values.lens = Text(Find(NoteDirectory{raw, 12, fromTiff}, 0x0051));
        return values;
    }
    const reader::PropertyImage::ItemLocation* make = image.find(kMake);
    std::vector<std::uint8_t> makeBytes;
    if (make && image.readValue(*make, makeBytes, 64) && ByteStarts(makeBytes, "Canon")) {
        const NoteDirectory dir{raw, 0, fromTiff};
        values.lens = Text(Find(dir, 0x0095));
        if (values.lens.empty()) values.lens = CanonFocalRange(Find(dir, 0x0001));
    }
    return values;
}

}  // namespace exif
