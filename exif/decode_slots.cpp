#include "exif/decode_slots.h"

#include "exif/text_decode.h"
#include "reader/property_items.h"

namespace exif {
namespace {

std::uint32_t ReadLe(const std::uint8_t* p, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return value;
}

}  // namespace

bool DecodeSlots::Serves(Slot slot) const {
    switch (slot) {
    case Slot::Text:
        return type_ == reader::PropertyTypeAscii || type_ == reader::PropertyTypeUndefined ||
               type_ == reader::PropertyTypeUtf8;
    case Slot::Byte:
        return type_ == reader::PropertyTypeByte || type_ == reader::PropertyTypeUndefined;
    case Slot::Short:
    case Slot::Long: return type_ == reader::PropertyTypeShort || type_ == reader::PropertyTypeLong;
    case Slot::Rational:
        return type_ == reader::PropertyTypeRational || type_ == reader::PropertyTypeSRational;
    case Slot::Offset:
        return type_ == reader::PropertyTypeShort || type_ == reader::PropertyTypeLong ||
               type_ == reader::PropertyTypeSLong || type_ == reader::PropertyTypeIfd;
    }
    return false;
}

std::optional<std::int64_t> DecodeSlots::Element(Slot slot, std::size_t k) const {
    if (!Serves(slot) || slot == Slot::Text) return std::nullopt;
    std::size_t width = 1;
    if (type_ == reader::PropertyTypeShort) width = 2;
    else if (type_ != reader::PropertyTypeByte && type_ != reader::PropertyTypeUndefined) width = 4;
    if (k >= value_.size() / width) return std::nullopt;
    const std::uint32_t bits = ReadLe(value_.data() + k * width, width);
    if (type_ == reader::PropertyTypeSRational || type_ == reader::PropertyTypeSLong)
        return static_cast<std::int32_t>(bits);
    return bits;
}

std::optional<std::string> DecodeSlots::Text() const {
    if (!Serves(Slot::Text)) return std::nullopt;
    if (type_ == reader::PropertyTypeUtf8) return DecodeUtf8(value_.data(), value_.size());
    return DecodeText(value_.data(), value_.size());
}

std::optional<std::string> DecodeSlots::Comment() const {
    if (!Serves(Slot::Text)) return std::nullopt;
    return DecodeUserComment(value_.data(), value_.size(), bigEndianFile_);
}

}  // namespace exif
