#include "exif/shooting_summary.h"

#include <optional>
#include <vector>

#include "exif/decode_slots.h"
#include "exif/number_format.h"
#include "reader/property_items.h"

namespace exif {
namespace {

// A model name is a few dozen characters; a longer one is cut by the caption anyway.
constexpr std::uint32_t kMaxModelBytes = 256;

// A literal and a text, appended: GCC 12 warns falsely (-Wrestrict) on the
// insert that `"literal" + text` inlines under the sanitizers.
std::string Joined(const char* prefix, const std::string& text) {
    std::string joined(prefix);
    joined += text;
    return joined;
}
constexpr std::uint32_t kMaxNumberBytes = 64;

// PhotographicSensitivity holds 65535 for "this or more"; the newer tags
// then carry the real value.
constexpr std::int64_t kSensitivityCeiling = 65535;

class Items {
public:
    explicit Items(const reader::PropertyImage& image) : image_(image) {}

    std::optional<DecodeSlots> item(std::uint32_t tag, std::uint32_t limit = kMaxNumberBytes) {
        const reader::PropertyImage::ItemLocation* location = image_.find(tag);
        if (!location || !image_.readValue(*location, buffer_, limit)) return std::nullopt;
        return DecodeSlots(location->type, buffer_, image_.bigEndian());
    }

    // The first whole number of the item; nothing unless it is above 0.
    std::optional<std::int64_t> positive(std::uint32_t tag) {
        const std::optional<DecodeSlots> value = item(tag);
        const std::optional<std::int64_t> number =
            value ? value->Element(Slot::Long, 0) : std::nullopt;
        if (!number || *number <= 0) return std::nullopt;
        return number;
    }

    // The first rational as numerator and denominator; nothing unless both are above 0.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> rational(std::uint32_t tag) {
        const std::optional<DecodeSlots> value = item(tag);
        if (!value) return std::nullopt;
        const auto numerator = value->Element(Slot::Rational, 0),
                   denominator = value->Element(Slot::Rational, 1);
        if (!numerator || !denominator || *numerator <= 0 || *denominator <= 0) return std::nullopt;
        return std::pair{static_cast<std::uint32_t>(*numerator),
                         static_cast<std::uint32_t>(*denominator)};
    }

private:
    const reader::PropertyImage& image_;
    std::vector<std::uint8_t> buffer_;
};

// The text on one line: runs of spaces and control characters become one space.
std::string OneLine(const std::string& text) {
    std::string line;
    bool gap = false;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') {
            gap = !line.empty();
            continue;
        }
        if (gap) line += ' ';
        gap = false;
        line += c;
    }
    return line;
}

std::string Model(Items& items) {
    const std::optional<DecodeSlots> value = items.item(0x0110, kMaxModelBytes);
    const std::optional<std::string> text = value ? value->Text() : std::nullopt;
    return text ? OneLine(*text) : std::string();
}

// The 35 mm equivalent is what phones and photographers compare; a camera
// that does not write it gets its real focal length.
std::string FocalLength(Items& items) {
    if (const auto equivalent = items.positive(0xA405)) return IntText(*equivalent) + " mm";
    if (const auto focal = items.rational(0x920A))
        return RoundedText(static_cast<double>(focal->first) / focal->second, 1) + " mm";
    return {};
}

// One decimal, as lenses are marked; below F1 two, so that F0.95 is not F1.
std::string Aperture(Items& items) {
    const auto fNumber = items.rational(0x829D);
    if (!fNumber) return {};
    const double value = static_cast<double>(fNumber->first) / fNumber->second;
    return Joined("F", RoundedText(value, value < 1 ? 2 : 1));
}

std::string ExposureTime(Items& items) {
    const auto time = items.rational(0x829A);
    return time ? ExposureTimeText(time->first, time->second) : std::string();
}

// PhotographicSensitivity, unless it is missing or at its ceiling: then
// ISOSpeed, RecommendedExposureIndex or StandardOutputSensitivity, the
// first that is there (Exif 2.3 moved the value to them).
std::string Iso(Items& items) {
    const std::optional<std::int64_t> classic = items.positive(0x8827);
    if (classic && *classic < kSensitivityCeiling) return Joined("ISO ", IntText(*classic));
    for (const std::uint32_t tag : {0x8833u, 0x8832u, 0x8831u})
        if (const auto newer = items.positive(tag)) return Joined("ISO ", IntText(*newer));
    return classic ? Joined("ISO ", IntText(*classic)) : std::string();
}

}  // namespace

std::string ExposureTimeText(std::uint32_t numerator, std::uint32_t denominator) {
    if (numerator == 0 || denominator == 0) return {};
    const std::uint64_t n = numerator, d = denominator;
    // Exactly, on the rational: 3/10 is 0.3 s, not a double just below it.
    // Halves round away from zero, as the other numbers of the line do.
    if (10 * n < 3 * d)
        return Joined("1/", IntText(static_cast<std::int64_t>((2 * d + n) / (2 * n)))) + " s";
    const std::uint64_t tenths = (20 * n + d) / (2 * d);
    std::string text = IntText(static_cast<std::int64_t>(tenths / 10));
    if (tenths % 10 != 0) text += Joined(".", IntText(static_cast<std::int64_t>(tenths % 10)));
    return text + " s";
}

std::string ShootingSummary(const reader::PropertyImage& image) {
    Items items(image);
    std::string line;
    for (const std::string& part :
         {Model(items), FocalLength(items), Aperture(items), ExposureTime(items), Iso(items)}) {
        if (part.empty()) continue;
        if (!line.empty()) line += " \u00B7 ";
        line += part;
    }
    return line;
}

}  // namespace exif
