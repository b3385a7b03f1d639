// What libheif will hold and do to decode one image of a HEIF or AVIF file,
// read from the file's own boxes before libheif decodes anything (libheif
// 1.15 does not tell how an image is made up). A grid image is a canvas
// filled with tiles, each a coded image of its own; an overlay a canvas with
// other images drawn onto it; an identity-derived image a copy of another.
// Their cost is not their size: a few hundred bytes of boxes can ask for a
// canvas of ninety megapixels, or twenty thousand tiles that each start a
// codec of their own. Plain C++ (no Qt); every byte is read through the
// reader's checked views.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace preview {

struct HeifImageCost {
    // Decoded planes held at once: the canvases, and the inputs being
    // decoded into them. The RGB rows converted from them come on top.
    std::uint64_t planeBytes = 0;
    // Coded images the codec decodes, one after another (tiles, inputs).
    std::uint64_t codedImages = 0;
};

class HeifLayout {
public:
    // Bytes a decoded plane takes per pixel in this count: as many as 8-bit
    // 4:4:4 or 10-bit 4:2:0 take, the most a photo's codec gives.
    static constexpr std::uint64_t kPlaneBytesPerPixel = 3;
    // libheif decodes this many tiles of a grid at once.
    static constexpr std::uint64_t kTilesAtOnce = 4;

    // The meta box of the file open at `descriptor` (`fileSize` bytes),
    // read at positions of its own. A file whose meta box cannot be read
    // has an empty layout.
    static HeifLayout Read(int descriptor, std::uint64_t fileSize);
    // The same from the file's bytes in memory (tests, fuzzing).
    static HeifLayout Parse(const std::vector<std::uint8_t>& file);

    // What decoding item `id` costs; nothing when the boxes do not say (an
    // item that is not there, a grid without its description, derivations
    // nested deeper than images are made).
    std::optional<HeifImageCost> CostOf(std::uint32_t id) const;

    // The primary item (pitm), when the boxes name one.
    std::optional<std::uint32_t> Primary() const { return primary_; }
    // How many items the boxes list.
    std::size_t ItemCount() const { return items_.size(); }
    // An image item's width and height as its boxes give them (ispe, or a
    // grid's or an overlay's canvas), before any turn; 0 x 0 when unknown.
    std::pair<std::uint64_t, std::uint64_t> SizeOf(std::uint32_t id) const;

private:
    struct Item {
        std::uint32_t type = 0;
        std::uint64_t width = 0;  // ispe, or the canvas of a grid or overlay
        std::uint64_t height = 0;
        bool described = false;             // a grid's or overlay's canvas was read
        bool turned = false;                // irot or imir: libheif turns a copy
        std::vector<std::uint32_t> inputs;  // dimg
    };

    std::optional<HeifImageCost> CostOf(
        std::uint32_t id, int depth, std::unordered_map<std::uint32_t, HeifImageCost>& known) const;

    std::unordered_map<std::uint32_t, Item> items_;
    std::optional<std::uint32_t> primary_;
    friend class HeifLayoutReader;
};

}  // namespace preview
