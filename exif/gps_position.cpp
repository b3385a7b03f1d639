#include "exif/gps_position.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "exif/decode_slots.h"
#include "exif/extra_rows.h"
#include "exif/tag_catalogue.h"
#include "reader/property_items.h"

namespace exif {
namespace {

constexpr std::uint32_t kLatitudeRef = 0x0001;
constexpr std::uint32_t kLatitude = 0x0002;
constexpr std::uint32_t kLongitudeRef = 0x0003;
constexpr std::uint32_t kLongitude = 0x0004;
// The GPS directory's tags keep their own numbers, 0 to 31, in the platform's numbering.
constexpr std::uint32_t kLastGpsTag = 0x001F;

// The first item with this tag: its first kept bytes are all a GPS value has.
class ItemBuffer {
public:
    ItemBuffer(const reader::PropertyImage& image, std::uint32_t id) {
        const reader::PropertyImage::ItemLocation* item = image.find(id);
        if (item && image.readValue(*item, bytes_, kLongestValue))
            item_ = DecodeSlots(item->type, bytes_);
    }
    const DecodeSlots& item() const { return item_; }

private:
    static constexpr std::uint32_t kLongestValue = 256;
    std::vector<std::uint8_t> bytes_;
    DecodeSlots item_;
};

// +1 or -1 for the reference letter, nothing for any other text.
std::optional<double> Sign(const reader::PropertyImage& image, std::uint32_t id, char positive,
                           char negative) {
    const ItemBuffer buffer(image, id);
    const std::optional<std::string> text = buffer.item().Text();
    if (!text || text->size() != 1) return std::nullopt;
    if ((*text)[0] == positive) return 1.0;
    if ((*text)[0] == negative) return -1.0;
    return std::nullopt;
}

// Degrees + minutes / 60 + seconds / 3600. Minutes or seconds stored as 0/0
// (a writer's "not known") count as 0; any other zero denominator makes the
// angle unknown.
std::optional<double> Degrees(const reader::PropertyImage& image, std::uint32_t id) {
    const ItemBuffer buffer(image, id);
    constexpr double kUnits[] = {1, 60, 3600};
    double degrees = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const std::optional<std::int64_t> numerator = buffer.item().Element(Slot::Rational, 2 * k);
        const std::optional<std::int64_t> denominator =
            buffer.item().Element(Slot::Rational, 2 * k + 1);
        if (!numerator || !denominator || *numerator < 0 || *denominator < 0) return std::nullopt;
        if (*denominator == 0) {
            if (k == 0 || *numerator != 0) return std::nullopt;
            continue;
        }
        degrees += static_cast<double>(*numerator) / static_cast<double>(*denominator) / kUnits[k];
    }
    return degrees;
}

}  // namespace

std::optional<GpsPoint> GpsPosition(const reader::PropertyImage& image) {
    const std::optional<double> north = Sign(image, kLatitudeRef, 'N', 'S');
    const std::optional<double> east = Sign(image, kLongitudeRef, 'E', 'W');
    const std::optional<double> latitude = Degrees(image, kLatitude);
    const std::optional<double> longitude = Degrees(image, kLongitude);
    if (!north || !east || !latitude || !longitude) return std::nullopt;
    if (!(*latitude <= 90) || !(*longitude <= 180)) return std::nullopt;
    return GpsPoint{*north * *latitude, *east * *longitude};
}

bool IsGpsLabel(std::string_view label) {
    for (const CatalogueEntry& entry : Catalogue()) {
        if (entry.tag <= kLastGpsTag && entry.label == label) return true;
    }
    return IsExtraGpsLabel(label);
}

}  // namespace exif
