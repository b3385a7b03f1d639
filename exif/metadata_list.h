// The metadata list of one photo: ordered (label, value) entries with the
// photo's name and path. The photo panel owns one; the report tool makes one
// per photo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reader {
class PropertyImage;
}

namespace exif {

struct MetadataEntry {
    std::string label;  // never empty in a filled entry
    std::string value;  // may be empty
    // The item's tag number, as the reader numbers it; a row of the extra
    // catalogue, which gathers several sources, has kExtraRowTag plus its
    // position there.
    std::uint32_t tag = 0;
};

// Above every tag number (16 bits).
inline constexpr std::uint32_t kExtraRowTag = 0x10000;

class MetadataList {
public:
    // Walks the image's property items in the reader's order and rebuilds the
    // entries, then adds the rows of the extra catalogue that have a value;
    // a null image gives an empty list.
    void LoadMetadata(const reader::PropertyImage* image);

    // Name and path of the photo the list describes: the path as given, the
    // name after its last PathSeparator (the whole path when it has none).
    void SetPhoto(const std::string& path);

    // Both arrays are replaced by copies of the labels and values, index k
    // belonging to entry k.
    void GetExifData(std::vector<std::string>& labels, std::vector<std::string>& values) const;

    const std::string& PhotoName() const { return photoFileName; }
    const std::string& PhotoFile() const { return photoFilePath; }

    const std::vector<MetadataEntry>& Entries() const { return entries; }
    std::size_t EntryCount() const { return entryCount; }

private:
    std::vector<MetadataEntry> entries;
    std::size_t entryCount = 0;
    std::string photoFileName;
    std::string photoFilePath;
};

}  // namespace exif
