// Feeds arbitrary bytes through the whole metadata road: the property-item
// reader, the four Gdip operations over every item, the metadata walk and the
// report, and the JPEG segment count. Besides the sanitizers it checks the
// reader's own promises.
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/property_containers.h"
#include "reader/property_items.h"

#include <cstdint>
#include <cstdio>
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

// Every listed item can be fetched, with a record that matches the listing,
// and the items stay within the budgets that keep memory proportional to the
// input.
void CheckItems(const reader::PropertyImage& image, std::size_t inputSize) {
    std::uint32_t count = 0;
    Require(reader::GdipGetPropertyCount(&image, &count) == reader::Ok);
    Require(count == image.items().size());
    // Up to 16 entries beyond one per 12 bytes in each TIFF block; a CR3
    // has three.
    Require(count <= inputSize / 12 + 3 * 16);
    std::vector<std::uint32_t> ids(count);
    Require(reader::GdipGetPropertyIdList(&image, count, ids.data()) == reader::Ok);

    std::unordered_map<std::uint32_t, std::uint32_t> seen;
    std::uint64_t outOfLine = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t id = ids[i];
        const std::uint32_t occurrence = seen[id]++;
        const auto& listed = image.items()[i];
        Require(listed.id == id);
        if (!listed.isInline) outOfLine += listed.length;

        std::uint32_t size = 0;
        Require(reader::GdipGetPropertyItemSize(&image, id, &size, occurrence) == reader::Ok);
        Require(size == sizeof(reader::PropertyItem) + std::uint64_t{listed.length});
        Require(listed.length <= inputSize);
        std::vector<std::uint8_t> buffer(size);
        auto* record = reinterpret_cast<reader::PropertyItem*>(buffer.data());
        Require(reader::GdipGetPropertyItem(&image, id, size, record, occurrence) == reader::Ok);
        Require(record->id == id && record->length == listed.length && record->type == listed.type);
        Require(record->padding == 0);
        Require(record->value == buffer.data() + sizeof(reader::PropertyItem));
        Require(reader::GdipGetPropertyItem(&image, id, size - 1, record, occurrence) ==
                reader::InvalidParameter);
    }
    Require(outOfLine <= inputSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const reader::PropertyImage image =
        reader::PropertyImage::Open(reader::MemorySource(std::vector<std::uint8_t>(data, data + size)));
    CheckItems(image, size);

    exif::MetadataList list;
    list.SetPhoto("/照片/fuzz.jpg");
    list.LoadMetadata(&image);
    Require(list.EntryCount() <= image.items().size());
    const std::string report = exif::BuildReport(list);
    Require(!report.empty());

    // The count the image layer weighs before libjpeg reads a header: each
    // segment takes at least four bytes, and counting stops one past the limit.
    const std::uint64_t segments =
        reader::CountJpegSegments(*reader::MemorySource(std::vector<std::uint8_t>(data, data + size)), 64);
    Require(segments <= 65 && segments <= size / 4);
    return 0;
}
