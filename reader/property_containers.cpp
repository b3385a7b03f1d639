#include "reader/property_containers.h"

#include "reader/property_bmff.h"
#include "reader/property_png_text.h"
#include "reader/jpeg_segments.h"
#include "reader/property_source_window.h"

#include <algorithm>
#include <string_view>

namespace reader {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kExifHeader = "Exif\0\0"sv;

// A payload that may begin with the "Exif\0\0" header of a JPEG segment.
TiffBlock SkipExifHeader(BufferedWindow& window, TiffBlock block) {
    if (block.size >= kExifHeader.size() &&
        window.peek(block.offset, kExifHeader.size(), false).startsWith(kExifHeader)) {
        block.offset += kExifHeader.size();
        block.size -= kExifHeader.size();
    }
    return block;
}

// Walks the marker segments of the JPEG at [start, end) up to the image data,
// handing each segment's marker, payload offset and payload length to
// `visit`, which returns false to stop. Strict: bytes that begin no marker
// end the walk, and each marker and each fill byte counts against
// kMaxHeaders.
template <typename Visit>
void WalkJpegSegments(BufferedWindow& window, std::uint64_t start, std::uint64_t end, Visit visit) {
    JpegSegmentWalk walk(window, start, end, {.skipStrayBytes = false, .maxSteps = kMaxHeaders});
    while (const std::optional<JpegSegment> segment = walk.next()) {
        if (segment->marker == jpeg::kSoi) continue;  // a second SOI: passed over
        if (segment->marker == jpeg::kEoi || segment->marker == jpeg::kSos || segment->length < 2) return;
        if (!visit(segment->marker, segment->payload, std::uint64_t{segment->payloadLength()})) return;
    }
}

// The first APP1 segment that starts with "Exif\0\0" holds the block.
std::optional<TiffBlock> FindJpegBlock(BufferedWindow& window, std::uint64_t start, std::uint64_t end) {
    std::optional<TiffBlock> block;
    WalkJpegSegments(window, start, end, [&](std::uint8_t code, std::uint64_t payload, std::uint64_t length) {
        if (code == jpeg::kApp1 && length >= kExifHeader.size() &&
            window.peek(payload, kExifHeader.size(), true).startsWith(kExifHeader)) {
            block = BlockAt(payload + kExifHeader.size(), length - kExifHeader.size(), end);
            return false;
        }
        return true;
    });
    return block;
}

// A text chunk that may hold a "Raw profile type" Exif profile.
struct ProfileChunk {
    std::uint64_t data = 0;
    std::uint32_t length = 0;
    PngText kind = PngText::Plain;
};

// The Exif of the first text chunk that holds a raw profile with a TIFF
// block, put together in `scan`.
void ReadRawProfile(BufferedWindow& window, const std::vector<ProfileChunk>& chunks, ContainerScan& scan) {
    for (const ProfileChunk& chunk : chunks) {
        if (chunk.length > kMaxPngTextChunk) continue;
        const ByteView data = window.exact(chunk.data, chunk.length, true);
        if (data.empty()) continue;
        std::optional<std::vector<std::uint8_t>> profile = RawProfileBytes(data.bytes(), chunk.kind);
        if (!profile) continue;
        const std::uint64_t skip = ByteView(*profile, false).startsWith(kExifHeader) ? kExifHeader.size() : 0;
        if (!StartsWithTiffHeader(ByteView(*profile, false).sub(skip, profile->size() - skip))) continue;
        const std::uint64_t size = profile->size() - skip;
        scan.assembled = std::move(*profile);
        scan.blocks.push_back(TiffBlock{skip, size});
        return;
    }
}

// Walks the chunks by their lengths (never reading image data) until eXIf or
// IEND. Without an eXIf chunk, a text chunk with a raw Exif profile (as
// ImageMagick writes it) serves.
void ScanPng(BufferedWindow& window, ContainerScan& scan) {
    constexpr std::size_t kMaxProfileChunks = 8;
    const std::uint64_t size = window.sourceSize();
    std::vector<ProfileChunk> profiles;
    std::uint64_t pos = 8;  // after the signature
    for (std::uint64_t steps = 0; steps < kMaxHeaders; ++steps) {
        const ByteView chunk = window.exact(pos, 8, true);
        if (chunk.empty()) break;
        const std::uint32_t length = chunk.u32(0);
        if (length > 0x7FFFFFFFu) break;  // PNG lengths are 31-bit
        const ByteView type = chunk.sub(4, 4);
        const std::uint64_t data = pos + 8;
        if (type.startsWith("eXIf")) {
            scan.blocks.push_back(SkipExifHeader(window, BlockAt(data, length, size)));
            return;
        }
        if (type.startsWith("IEND")) break;
        const std::optional<PngText> kind = PngTextKind(type.bytes());
        if (kind && profiles.size() < kMaxProfileChunks &&
            IsRawProfileKeyword(window.peek(data, std::min<std::uint64_t>(length, kMaxKeyword), true).bytes())) {
            profiles.push_back(ProfileChunk{data, length, *kind});
        }
        pos = data + length + 4;  // and the CRC
    }
    ReadRawProfile(window, profiles, scan);
}

// Walks the RIFF chunks (padded to even sizes) until the EXIF chunk.
std::optional<TiffBlock> FindWebPBlock(BufferedWindow& window) {
    const std::uint64_t size = window.sourceSize();
    std::uint64_t pos = 12;  // after "RIFF", the size and "WEBP"
    for (std::uint64_t steps = 0; steps < kMaxHeaders; ++steps) {
        const ByteView chunk = window.exact(pos, 8, false);
        if (chunk.empty()) return std::nullopt;
        const std::uint32_t length = chunk.u32(4);
        const std::uint64_t data = pos + 8;
        if (chunk.startsWith("EXIF")) return SkipExifHeader(window, BlockAt(data, length, size));
        pos = data + length + (length & 1u);
    }
    return std::nullopt;
}

// A Fujifilm RAF file embeds a JPEG whose Exif segment is the metadata; the
// header gives the JPEG's offset and length as big-endian words at 84 and 88.
std::optional<TiffBlock> FindRafBlock(BufferedWindow& window) {
    const std::uint64_t size = window.sourceSize();
    const ByteView where = window.exact(84, 8, true);
    if (where.empty()) return std::nullopt;
    const std::uint64_t offset = where.u32(0);
    const std::uint64_t length = where.u32(4);
    if (offset >= size) return std::nullopt;
    const std::uint64_t end = offset + std::min(length, size - offset);
    if (end - offset < 3 || !window.exact(offset, 3, true).startsWith("\xFF\xD8\xFF")) return std::nullopt;
    return FindJpegBlock(window, offset, end);
}

}  // namespace

TiffBlock BlockAt(std::uint64_t offset, std::uint64_t length, std::uint64_t sourceSize) {
    const std::uint64_t available = offset <= sourceSize ? sourceSize - offset : 0;
    return TiffBlock{offset, std::min(length, available)};
}

bool StartsWithTiffHeader(const ByteView& bytes) {
    return bytes.startsWith("II*\0"sv) || bytes.startsWith("MM\0*"sv);
}

std::uint64_t CountJpegSegments(const ByteSource& source, std::uint64_t limit) {
    BufferedWindow window(source);
    const ByteView start = window.peek(0, 2, true);
    if (start.size() < 2 || start.u8(0) != 0xFF || start.u8(1) != jpeg::kSoi) return 0;
    // Walked as libjpeg walks it: a stray byte must not hide the segments
    // after it from the count.
    JpegSegmentWalk walk(window, 0, window.sourceSize(), {.skipStrayBytes = true, .maxSteps = kMaxHeaders});
    std::uint64_t count = 0;
    while (const std::optional<JpegSegment> segment = walk.next()) {
        const int marker = segment->marker;
        if (marker == jpeg::kSos || marker == jpeg::kEoi || marker == jpeg::kSoi || segment->lengthCutOff()) break;
        if (++count > limit) return count;
    }
    // libjpeg reads on where the walk gave up.
    return walk.gaveUp() ? limit + 1 : count;
}

ContainerScan ScanContainer(const ByteSource& source) {
    BufferedWindow window(source);
    const std::uint64_t size = source.size();
    const ByteView head = window.peek(0, 16, false);
    ContainerScan scan;
    const auto add = [&](std::optional<TiffBlock> block) {
        if (block) scan.blocks.push_back(*block);
    };
    // The whole file is the block; ORF and RW2 only differ in the magic number.
    const auto wholeFile = [&](PhotoFormat format, bool rawHeader, std::uint16_t firstIfd0Tag) {
        scan.format = format;
        scan.inPlace = true;
        TiffBlock block{0, size};
        block.rawHeader = rawHeader;
        block.firstIfd0Tag = firstIfd0Tag;
        scan.blocks.push_back(block);
    };
    if (head.startsWith("\xFF\xD8\xFF")) {
        scan.format = PhotoFormat::Jpeg;
        add(FindJpegBlock(window, 0, size));
    } else if (head.startsWith("II*\0"sv) || head.startsWith("MM\0*"sv) || head.startsWith("II+\0"sv) ||
               head.startsWith("MM\0+"sv)) {
        // BigTIFF is recognised; its 64-bit directories are not read, so it
        // lists no items.
        wholeFile(PhotoFormat::Tiff, false, 0);
    } else if (head.startsWith("IIRO") || head.startsWith("IIRS") || head.startsWith("MMOR")) {
        wholeFile(PhotoFormat::Orf, true, 0);
    } else if (head.startsWith("IIU\0"sv)) {
        wholeFile(PhotoFormat::Rw2, true, 0x00FE);
    } else if (head.startsWith("\x89PNG\r\n\x1A\n")) {
        scan.format = PhotoFormat::Png;
        ScanPng(window, scan);
    } else if (head.startsWith("RIFF") && head.sub(8, 4).startsWith("WEBP")) {
        scan.format = PhotoFormat::WebP;
        add(FindWebPBlock(window));
    } else if (head.startsWith("FUJIFILMCCD-RAW ")) {
        scan.format = PhotoFormat::Raf;
        add(FindRafBlock(window));
    } else if (head.sub(4, 4).startsWith("ftyp")) {
        ScanBmff(window, scan);
    } else if (head.startsWith("BM")) {
        scan.format = PhotoFormat::Bmp;
    } else if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        scan.format = PhotoFormat::Gif;
    }
    return scan;
}

}  // namespace reader
