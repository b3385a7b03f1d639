// The extra catalogue: the rows that follow the classic catalogue's, for what
// photographers look for first in today's photos (lens, serial numbers, time
// zones, titles, keywords, ratings, place, colour profile, file size). Each
// row takes the first of its sources that has a value (an Exif tag, an XMP
// property, an IPTC dataset, a Windows XP tag, the maker note) and appears
// only when one has.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exif/metadata_list.h"

namespace reader {
class PropertyImage;
}

namespace exif {

// The labels of the extra rows, in list order.
std::span<const std::string_view> ExtraRows();

// Appends the rows that have a value, each tagged kExtraRowTag + its position.
void AppendExtraRows(const reader::PropertyImage& image, std::vector<MetadataEntry>& entries);

// True for the extra rows that come from the GPS directory.
bool IsExtraGpsLabel(std::string_view label);

// The wordings, for the tests.

// Four rationals "n/d" (focal lengths, then the apertures at both ends) as
// "24-70mm F2.8"; a part stored as 0/0 is left out.
std::string LensSpecText(std::string_view rationals);
// "★★★★☆" for 4, "未评级" for 0, "已拒绝" for -1, the text itself otherwise.
std::string RatingText(std::string_view rating);
// "4.20 MB (4404019 字节)"; under a megabyte in kilobytes.
std::string FileSizeText(std::uint64_t bytes);

}  // namespace exif
