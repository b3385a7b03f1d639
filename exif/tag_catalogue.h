// The tags the metadata list shows: for each its label and the rule that
// words the item's value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "exif/decode_slots.h"
#include "exif/metadata_list.h"

namespace exif {

using CodeLookup = std::string_view (*)(std::uint32_t code);
using TextLookup = std::string_view (*)(std::string_view text);

// How one piece of a value text is made. Pieces that read an element of the
// item (Int, Quotient, FNumber, Minutes, Code) are empty when the item lacks
// that element; literals always stay.
enum class PieceKind : std::uint8_t {
    End,       // ends a rule
    Literal,   // the literal text
    Int,       // element `first` as an integer
    Quotient,  // element `first` / element `second` in `form`
    FNumber,   // the f-number of the APEX value element `first` / element `second`
    Minutes,   // minutes (elements `first`, +1) with the seconds (+2, +3) folded in
    Code,      // element `first` looked up with `code`
    Text,      // the item's text
    Comment,   // the item's text as a user comment
    TextCode,  // the item's text looked up with `textCode`
    Version,   // the leading number of the text / 100 in the general form
};

enum class NumberForm : std::uint8_t { General, Fixed2, Fixed3, Fixed4 };

struct Piece {
    PieceKind kind = PieceKind::End;
    std::string_view literal;
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    NumberForm form = NumberForm::General;
    CodeLookup code = nullptr;
    TextLookup textCode = nullptr;
};

inline constexpr std::size_t kMaxPieces = 8;

struct CatalogueEntry {
    std::uint32_t tag;
    std::string_view label;
    Slot reads;  // the reading of the value that the rule uses
    Piece pieces[kMaxPieces];
};

// The catalogue in tag order.
std::span<const CatalogueEntry> Catalogue();

// The catalogue row of a tag, or nullptr when the tag is not shown.
const CatalogueEntry* FindTag(std::uint32_t tag);

// Words the item's value by the rule of `entry`: empty when the item's type
// does not give the reading the rule uses.
std::string FormatValue(const CatalogueEntry& entry, const DecodeSlots& item);

// Writes the label and value of `target` when the tag is in the catalogue
// (true); leaves it untouched otherwise (false).
bool FormatItem(std::uint32_t tag, const DecodeSlots& item, MetadataEntry& target);

}  // namespace exif
