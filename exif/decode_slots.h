// The value of one property item, read in the forms that the catalogue's
// rules ask for.
//
// Every rule reads the item's own value, never one that an earlier item left
// behind, and only in the readings that the item's type can give:
//   Text   ASCII, UNDEFINED, UTF-8 (the decoded text)
//   Byte   BYTE, UNDEFINED         (the bytes)
//   Short  SHORT, LONG             (the values, unsigned)
//   Long   SHORT, LONG             (the values, unsigned)
//   Rational  RATIONAL, SRATIONAL  (the 32-bit words: unsigned for RATIONAL,
//                                   signed for SRATIONAL; numerator 0,
//                                   denominator 0, numerator 1, ...)
//   Offset  SHORT, LONG, SLONG, IFD  (the values, signed for SLONG: the
//                                   types directory pointers are found in)
// Any other pairing gives nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace exif {

enum class Slot : std::uint8_t { Text, Byte, Short, Long, Rational, Offset };

class DecodeSlots {
public:
    DecodeSlots() = default;  // an item without a value
    // `type` is the item's type code; `value` its value bytes, little-endian.
    // The bytes are not copied: they must outlive this object. The byte order
    // of the file matters only to bytes kept as stored (a Unicode comment).
    DecodeSlots(std::uint32_t type, std::span<const std::uint8_t> value, bool bigEndianFile = false)
        : type_(type), value_(value), bigEndianFile_(bigEndianFile) {}

    std::uint32_t type() const { return type_; }
    bool Serves(Slot slot) const;

    // Element k of the reading; nothing when the item does not serve it or
    // has fewer elements.
    std::optional<std::int64_t> Element(Slot slot, std::size_t k) const;

    // The decoded text (see DecodeText); nothing when the item does not serve
    // the Text reading. Decoded on each call, so only rules that show text
    // pay for it.
    std::optional<std::string> Text() const;

    // The Text reading as a user comment (see DecodeUserComment).
    std::optional<std::string> Comment() const;

private:
    std::uint32_t type_ = 0;
    std::span<const std::uint8_t> value_;
    bool bigEndianFile_ = false;
};

}  // namespace exif
