// Feeds arbitrary bytes through the whole metadata road: the property-item
// reader and every item's value, the blocks beside the Exif (XMP, IPTC, ICC)
// and the maker note through the extra rows, the metadata walk and the
// report, and the JPEG segment count. Besides the sanitizers it checks the
// reader's own promises.
#include "exif/extra_rows.h"
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/property_containers.h"
#include "reader/property_items.h"
#include "reader/property_tiff_walk.h"

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace {

void Check(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_metadata.cpp:%d: broken promise: %s\n", line, what);
    std::abort();
}
#define Require(condition) Check((condition), #condition, __LINE__)

// Every listed item can be read whole and cut, and the items stay within the
// budgets that keep memory proportional to the input.
void CheckItems(const reader::PropertyImage& image, std::size_t inputSize) {
    const auto& items = image.items();
    // Up to 16 entries beyond one per 12 bytes in each TIFF block; a CR3
    // has three.
    Require(items.size() <= inputSize / 12 + 3 * 16);
    std::unordered_map<std::uint32_t, std::uint32_t> seen;
    std::uint64_t outOfLine = 0;
    std::vector<std::uint8_t> value;
    for (const auto& item : items) {
        const std::uint32_t occurrence = seen[item.id]++;
        Require(image.find(item.id, occurrence) == &item);
        if (!item.isInline) outOfLine += item.length;
        Require(item.length <= inputSize);
        Require(image.readValue(item, value));
        Require(value.size() == item.length);
        // A cut value is whole elements.
        Require(image.readValue(item, value, 7));
        Require(value.size() <= 7 &&
                value.size() % std::max<std::uint32_t>(reader::PropertyElementSize(item.type), 1) ==
                    0);
    }
    Require(outOfLine <= inputSize);
}

// The blocks beside the Exif keep to their caps.
void CheckBlocks(const reader::PropertyImage& image) {
    const reader::EmbeddedBlocks& blocks = image.embedded();
    Require(blocks.xmp.size() <= reader::kMaxXmpBytes);
    Require(blocks.iptc.size() <= reader::kMaxIptcBytes);
    Require(blocks.icc.size() <= reader::kMaxIccBytes);
    std::uint64_t extended = 0;
    for (const auto& part : blocks.extendedXmp) extended += part.bytes.size();
    Require(extended <= reader::kMaxExtendedXmpBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const reader::PropertyImage image = reader::PropertyImage::Open(
        reader::MemorySource(std::vector<std::uint8_t>(data, data + size)));
    CheckItems(image, size);
    CheckBlocks(image);

    exif::MetadataList list;
    list.SetPhoto("/照片/fuzz.jpg");
    list.LoadMetadata(&image);
    Require(list.EntryCount() <= image.items().size() + exif::ExtraRows().size());
    const std::string report = exif::BuildReport(list);
    Require(!report.empty());

    // The count the image layer weighs before libjpeg reads a header: each
    // segment takes at least four bytes, and counting stops one past the limit.
    const std::uint64_t segments = reader::CountJpegSegments(
        *reader::MemorySource(std::vector<std::uint8_t>(data, data + size)), 64);
    Require(segments <= 65 && segments <= size / 4);
    return 0;
}
