#include "preview/heif_layout.h"

#include "reader/bmff_properties.h"
#include "reader/byte_view.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <span>
#include <string_view>
#include <unistd.h>

namespace preview {
namespace {

using reader::ByteView;

constexpr std::uint32_t FourCC(std::string_view code) {
    return std::uint32_t{static_cast<std::uint8_t>(code[0])} << 24 |
           std::uint32_t{static_cast<std::uint8_t>(code[1])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(code[2])} << 8 |
           static_cast<std::uint8_t>(code[3]);
}

// A photo's meta box takes a few kilobytes (an iPhone's 48 tiles); one of
// 20,000 tiles takes under a megabyte. Beyond this the layout is not read,
// and an image whose cost it would tell is not decoded.
constexpr std::uint64_t kMaxMetaBytes = 16u << 20;
// Top-level boxes looked at before the meta box: ftyp comes first, meta
// right after it in every writer's files.
constexpr int kMaxTopLevelBoxes = 64;
// Images are made of coded images at most three derivations deep (a grid
// of tiles, an overlay of grids, an identity of either).
constexpr int kMaxDerivationDepth = 4;
// Sums past this are as good as infinite, and cannot wrap.
constexpr std::uint64_t kSaturated = std::uint64_t{1} << 62;

std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
    return std::min(kSaturated, a + std::min(b, kSaturated));
}
std::uint64_t Times(std::uint64_t a, std::uint64_t b) {
    if (a == 0 || b == 0) return 0;
    return a > kSaturated / b ? kSaturated : a * b;
}

struct Box {
    std::uint32_t type = 0;
    std::uint64_t payload = 0;  // after the header
    std::uint64_t end = 0;
};

// A box header at `start` of `bytes`, which must end by the end of `bytes`.
std::optional<Box> BoxAt(const ByteView& bytes, std::uint64_t start) {
    if (!bytes.fits(start, 8)) return std::nullopt;
    std::uint64_t size = bytes.u32(start);
    std::uint64_t header = 8;
    if (size == 1) {
        if (!bytes.fits(start, 16)) return std::nullopt;
        size = std::uint64_t{bytes.u32(start + 8)} << 32 | bytes.u32(start + 12);
        header = 16;
    } else if (size == 0) {
        size = bytes.size() - start;
    }
    if (size < header || !bytes.fits(start, size)) return std::nullopt;
    return Box{bytes.u32(start + 4), start + header, start + size};
}

// The children of [begin, end) of `bytes`, in order, until one does not fit.
void Children(const ByteView& bytes, std::uint64_t begin, std::uint64_t end,
              const std::function<void(const Box&)>& visit) {
    const ByteView inside = bytes.sub(0, std::min<std::uint64_t>(end, bytes.size()));
    for (std::uint64_t at = begin; at < end;) {
        const std::optional<Box> box = BoxAt(inside, at);
        if (!box) return;
        visit(*box);
        at = box->end;
    }
}

using ReadAt = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)>;

}  // namespace

// Fills a layout from the boxes of one meta box.
class HeifLayoutReader {
public:
    HeifLayoutReader(HeifLayout& layout, const ReadAt& read, std::uint64_t fileSize)
        : layout_(layout), read_(read), fileSize_(fileSize) {}

    void readFile() {
        std::uint64_t at = 0;
        for (int i = 0; i < kMaxTopLevelBoxes && at + 8 <= fileSize_; ++i) {
            std::uint8_t header[16] = {};
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(16, fileSize_ - at));
            if (!read_(at, std::span(header, wanted))) return;
            const ByteView view(std::span<const std::uint8_t>(header, wanted), true);
            std::uint64_t size = view.u32(0);
            std::uint64_t headerSize = 8;
            if (size == 1) {
                size = std::uint64_t{view.u32(8)} << 32 | view.u32(12);
                headerSize = 16;
            } else if (size == 0) {
                size = fileSize_ - at;
            }
            if (!view.ok() || size < headerSize || size > fileSize_ - at) return;
            if (view.u32(4) == FourCC("meta")) {
                if (size - headerSize > kMaxMetaBytes) return;
                std::vector<std::uint8_t> meta(static_cast<std::size_t>(size - headerSize));
                if (!read_(at + headerSize, meta)) return;
                readMeta(ByteView(meta, true));
                return;
            }
            at += size;
        }
    }

    // `meta` is the meta box's payload: a full box, version and flags first.
    void readMeta(const ByteView& meta) {
        std::optional<Box> iinf, iref, iprp, iloc, idat, pitm;
        Children(meta, 4, meta.size(), [&](const Box& box) {
            std::optional<Box>* slot = box.type == FourCC("iinf")   ? &iinf
                                       : box.type == FourCC("pitm") ? &pitm
                                       : box.type == FourCC("iref") ? &iref
                                       : box.type == FourCC("iprp") ? &iprp
                                       : box.type == FourCC("iloc") ? &iloc
                                       : box.type == FourCC("idat") ? &idat
                                                                    : nullptr;
            if (slot && !*slot) *slot = box;
        });
        if (!iinf) return;
        if (pitm) {
            const ByteView box = meta.sub(pitm->payload, pitm->end - pitm->payload);
            const std::uint32_t id = box.u8(0) == 0 ? std::uint32_t{box.u16(4)} : box.u32(4);
            if (box.ok()) layout_.primary_ = id;
        }
        readItemTypes(meta, *iinf);
        if (iref) readInputs(meta, *iref);
        if (iprp) readProperties(meta, *iprp);
        if (iloc) readCanvases(meta, *iloc, idat);
    }

private:
    void readItemTypes(const ByteView& meta, const Box& iinf) {
        const ByteView box = meta.sub(iinf.payload, iinf.end - iinf.payload);
        const std::uint64_t first = box.u8(0) == 0 ? 6 : 8;  // a 16-bit count in version 0
        Children(box, first, box.size(), [&](const Box& infe) {
            if (infe.type != FourCC("infe")) return;
            const ByteView entry = box.sub(infe.payload, infe.end - infe.payload);
            const std::uint8_t version = entry.u8(0);
            if (version < 2) return;  // no item type before version 2
            const std::uint64_t idWidth = version == 2 ? 2 : 4;
            const std::uint32_t id = version == 2 ? entry.u16(4) : entry.u32(4);
            const std::uint32_t type = entry.u32(6 + idWidth);
            if (entry.ok()) layout_.items_.try_emplace(id).first->second.type = type;
        });
    }

    void readInputs(const ByteView& meta, const Box& iref) {
        const ByteView box = meta.sub(iref.payload, iref.end - iref.payload);
        const bool wide = box.u8(0) != 0;  // 32-bit item ids from version 1
        const std::uint64_t idWidth = wide ? 4 : 2;
        Children(box, 4, box.size(), [&](const Box& reference) {
            if (reference.type != FourCC("dimg")) return;
            const auto id = [&](std::uint64_t at) {
                return wide ? box.u32(at) : std::uint32_t{box.u16(at)};
            };
            const std::uint32_t from = id(reference.payload);
            const std::uint64_t count = box.u16(reference.payload + idWidth);
            const std::uint64_t first = reference.payload + idWidth + 2;
            if (!box.ok() || count * idWidth > reference.end - std::min(first, reference.end))
                return;
            const auto found = layout_.items_.find(from);
            if (found == layout_.items_.end() || !found->second.inputs.empty()) return;
            found->second.inputs.reserve(static_cast<std::size_t>(count));
            for (std::uint64_t k = 0; k < count; ++k)
                found->second.inputs.push_back(id(first + k * idWidth));
        });
    }

    void readProperties(const ByteView& meta, const Box& iprp) {
        std::optional<Box> ipco, ipma;
        Children(meta, iprp.payload, iprp.end, [&](const Box& box) {
            if (box.type == FourCC("ipco") && !ipco) ipco = box;
            if (box.type == FourCC("ipma") && !ipma) ipma = box;
        });
        if (!ipco || !ipma) return;
        std::vector<Box> properties;  // counted from 1
        Children(meta, ipco->payload, ipco->end,
                 [&](const Box& box) { properties.push_back(box); });

        reader::ForEachPropertyAssociation(
            meta.sub(ipma->payload, ipma->end - ipma->payload),
            [&](std::uint32_t id, std::uint32_t index) {
                const auto found = layout_.items_.find(id);
                if (found == layout_.items_.end() || index == 0 || index > properties.size())
                    return;
                applyProperty(meta, properties[index - 1], found->second);
            });
    }

    static void applyProperty(const ByteView& meta, const Box& property, HeifLayout::Item& item) {
        if (property.type == FourCC("irot") || property.type == FourCC("imir")) item.turned = true;
        if (property.type != FourCC("ispe") || item.described) return;
        // A full box: version and flags, then the width and the height.
        const ByteView ispe = meta.sub(property.payload, property.end - property.payload);
        const std::uint32_t width = ispe.u32(4);
        const std::uint32_t height = ispe.u32(8);
        if (ispe.ok()) {
            item.width = width;
            item.height = height;
        }
    }

    // The canvas of each grid and overlay, from the start of its data.
    void readCanvases(const ByteView& meta, const Box& iloc, const std::optional<Box>& idat) {
        const ByteView box = meta.sub(iloc.payload, iloc.end - iloc.payload);
        const std::uint8_t version = box.u8(0);
        if (!box.ok() || version > 2) return;
        const std::uint32_t offsetSize = box.u8(4) >> 4;
        const std::uint32_t lengthSize = box.u8(4) & 15u;
        const std::uint32_t baseOffsetSize = box.u8(5) >> 4;
        const std::uint32_t indexSize = version == 0 ? 0 : box.u8(5) & 15u;
        for (std::uint32_t size : {offsetSize, lengthSize, baseOffsetSize, indexSize})
            if (size != 0 && size != 4 && size != 8) return;
        const auto number = [&](std::uint64_t at, std::uint32_t width) -> std::uint64_t {
            if (width == 4) return box.u32(at);
            if (width == 8) return std::uint64_t{box.u32(at)} << 32 | box.u32(at + 4);
            return 0;
        };
        std::uint64_t at = 6;
        const std::uint64_t count = version < 2 ? box.u16(at) : box.u32(at);
        at += version < 2 ? 2 : 4;
        const std::uint64_t extentSize = indexSize + offsetSize + lengthSize;
        // Each entry takes at least six bytes, so the loop ends with the box.
        for (std::uint64_t i = 0; i < count && box.ok() && at < box.size(); ++i) {
            const std::uint32_t id = version < 2 ? box.u16(at) : box.u32(at);
            at += version < 2 ? 2 : 4;
            std::uint32_t method = 0;
            if (version > 0) {
                method = box.u16(at) & 15u;
                at += 2;
            }
            const std::uint16_t dataReference = box.u16(at);
            const std::uint64_t baseOffset = number(at + 2, baseOffsetSize);
            at += 2 + baseOffsetSize;
            const std::uint64_t extents = box.u16(at);
            at += 2;
            if (!box.ok() || extents * extentSize > box.size() - std::min(at, box.size())) return;
            const auto found = layout_.items_.find(id);
            const bool canvas =
                found != layout_.items_.end() &&
                (found->second.type == FourCC("grid") || found->second.type == FourCC("iovl"));
            if (canvas && extents > 0 && dataReference == 0) {
                const std::uint64_t offset = Add(baseOffset, number(at + indexSize, offsetSize));
                readCanvas(meta, method, offset, idat, found->second);
            }
            at += extents * extentSize;
        }
    }

    // The start of a grid's or an overlay's description: its first extent
    // holds it in every writer's files.
    void readCanvas(const ByteView& meta, std::uint32_t method, std::uint64_t offset,
                    const std::optional<Box>& idat, HeifLayout::Item& item) {
        constexpr std::uint64_t kDescription = 20;  // the longest: an overlay's with 32-bit sizes
        std::uint8_t bytes[kDescription] = {};
        ByteView head;
        if (method == 1 && idat) {
            head = meta.sub(idat->payload, idat->end - idat->payload);
            head = head.sub(offset, std::min<std::uint64_t>(
                                        kDescription, head.size() - std::min(offset, head.size())));
        } else if (method == 0 && offset < fileSize_) {
            const std::size_t length =
                static_cast<std::size_t>(std::min(kDescription, fileSize_ - offset));
            if (!read_(offset, std::span(bytes, length))) return;
            head = ByteView(std::span<const std::uint8_t>(bytes, length), true);
        } else {
            return;
        }
        const bool grid = item.type == FourCC("grid");
        // Version and flags; a grid's rows and columns less one, an
        // overlay's fill colour; then the output size, 32-bit when flag 1.
        const bool wide = (head.u8(1) & 1u) != 0;
        const std::uint64_t sizes = grid ? 4 : 10;
        const std::uint64_t width = wide ? head.u32(sizes) : head.u16(sizes);
        const std::uint64_t height = wide ? head.u32(sizes + 4) : head.u16(sizes + 2);
        if (!head.ok() || head.u8(0) != 0) return;
        item.width = width;
        item.height = height;
        item.described = true;
    }

    HeifLayout& layout_;
    const ReadAt& read_;
    std::uint64_t fileSize_;
};

HeifLayout HeifLayout::Read(int descriptor, std::uint64_t fileSize) {
    HeifLayout layout;
    const ReadAt read = [descriptor](std::uint64_t offset, std::span<std::uint8_t> out) {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::pread(descriptor, out.data() + done, out.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    };
    HeifLayoutReader(layout, read, fileSize).readFile();
    return layout;
}

HeifLayout HeifLayout::Parse(const std::vector<std::uint8_t>& file) {
    HeifLayout layout;
    const ReadAt read = [&file](std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset > file.size() || out.size() > file.size() - offset) return false;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    };
    HeifLayoutReader(layout, read, file.size()).readFile();
    return layout;
}

std::pair<std::uint64_t, std::uint64_t> HeifLayout::SizeOf(std::uint32_t id) const {
    const auto found = items_.find(id);
    if (found == items_.end()) return {0, 0};
    return {found->second.width, found->second.height};
}

std::optional<HeifImageCost> HeifLayout::CostOf(std::uint32_t id) const {
    std::unordered_map<std::uint32_t, HeifImageCost> known;
    return CostOf(id, 0, known);
}

std::optional<HeifImageCost> HeifLayout::CostOf(
    std::uint32_t id, int depth, std::unordered_map<std::uint32_t, HeifImageCost>& known) const {
    if (const auto cached = known.find(id); cached != known.end()) return cached->second;
    const auto found = items_.find(id);
    if (depth > kMaxDerivationDepth || found == items_.end()) return std::nullopt;
    const Item& item = found->second;
    const std::uint64_t pixels = Times(item.width, item.height);
    const bool grid = item.type == FourCC("grid");
    const bool overlay = item.type == FourCC("iovl");
    HeifImageCost cost;
    if (grid || overlay || item.type == FourCC("iden")) {
        if (item.inputs.empty() || ((grid || overlay) && !item.described)) return std::nullopt;
        std::uint64_t largestInput = 0;
        for (const std::uint32_t input : item.inputs) {
            const std::optional<HeifImageCost> part = CostOf(input, depth + 1, known);
            if (!part) return std::nullopt;
            largestInput = std::max(largestInput, part->planeBytes);
            cost.codedImages = Add(cost.codedImages, part->codedImages);
        }
        // A grid's tiles are decoded a few at a time; an overlay's inputs
        // and an identity's one input, one at a time, beside the canvas.
        const std::uint64_t atOnce =
            grid ? std::min<std::uint64_t>(item.inputs.size(), kTilesAtOnce) : 1;
        cost.planeBytes = Add(Times(pixels, kPlaneBytesPerPixel), Times(atOnce, largestInput));
    } else {
        if (pixels == 0) return std::nullopt;  // a coded image has its size in ispe
        cost.planeBytes = Times(pixels, kPlaneBytesPerPixel);
        cost.codedImages = 1;
    }
    if (item.turned) cost.planeBytes = Add(cost.planeBytes, Times(pixels, kPlaneBytesPerPixel));
    known.emplace(id, cost);
    return cost;
}

}  // namespace preview
