#include "reader/property_containers.h"

#include "reader/iptc_records.h"
#include "reader/jpeg_segments.h"
#include "reader/property_bmff.h"
#include "reader/property_png_text.h"
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
        if (segment->marker == jpeg::kEoi || segment->marker == jpeg::kSos || segment->length < 2)
            return;
        if (!visit(segment->marker, segment->payload, std::uint64_t{segment->payloadLength()}))
            return;
    }
}

constexpr std::string_view kXmpHeader = "http://ns.adobe.com/xap/1.0/\0"sv;
constexpr std::string_view kExtendedXmpHeader = "http://ns.adobe.com/xmp/extension/\0"sv;
constexpr std::string_view kIccHeader = "ICC_PROFILE\0"sv;
constexpr std::string_view kPhotoshopHeader = "Photoshop 3.0\0"sv;

// Appends the bytes at [offset, offset + length) to `out` unless that would
// take it past `cap`; false when they were not appended.
bool AppendWithin(BufferedWindow& window, std::uint64_t offset, std::uint64_t length,
                  std::vector<std::uint8_t>& out, std::uint64_t cap) {
    if (length > cap - std::min<std::uint64_t>(cap, out.size())) return false;
    const ByteView bytes = window.exact(offset, length, true);
    if (bytes.size() != length) return false;
    out.insert(out.end(), bytes.bytes().begin(), bytes.bytes().end());
    return true;
}

// The segments of a JPEG up to its image data: the first Exif APP1 is the
// block; XMP (APP1, and its extension in further APP1s), the colour profile
// in numbered APP2 chunks and Photoshop's resources in APP13 are kept.
std::optional<TiffBlock> ScanJpeg(BufferedWindow& window, std::uint64_t start, std::uint64_t end,
                                  ContainerScan& scan) {
    // Read with the Exif segment: the start of the next one, so that the
    // walk goes on without a read of its own.
    constexpr std::uint64_t kFollowing = 2048;
    EmbeddedBlocks& embedded = scan.embedded;
    std::optional<TiffBlock> block;
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>>
        iccChunks;  // sequence number, bytes
    std::uint64_t iccBytes = 0, extendedBytes = 0;
    std::vector<std::uint8_t> photoshop;
    WalkJpegSegments(
        window, start, end, [&](std::uint8_t code, std::uint64_t payload, std::uint64_t length) {
            if (code != jpeg::kApp1 && code != jpeg::kApp2 && code != jpeg::kApp13) return true;
            const ByteView head = window.peek(payload, std::min<std::uint64_t>(length, 80), true);
            if (code == jpeg::kApp1 && !block && head.startsWith(kExifHeader)) {
                block = BlockAt(payload + kExifHeader.size(), length - kExifHeader.size(), end);
                if (!window.holds(block->offset, block->size))
                    window.peek(block->offset, block->size + kFollowing, true);
                const ByteView segment = window.exact(block->offset, block->size, true);
                if (segment.size() == block->size) {
                    scan.copy.assign(segment.bytes().begin(),
                                     segment.bytes().begin() + block->size);
                    scan.copyOffset = block->offset;
                }
            } else if (code == jpeg::kApp1 && embedded.xmp.empty() && head.startsWith(kXmpHeader)) {
                AppendWithin(window, payload + kXmpHeader.size(), length - kXmpHeader.size(),
                             embedded.xmp, kMaxXmpBytes);
            } else if (code == jpeg::kApp1 && head.startsWith(kExtendedXmpHeader) &&
                       length >= kExtendedXmpHeader.size() + 40) {
                // GUID, full length, offset of this part, then the part.
                const ByteView fields = head.sub(kExtendedXmpHeader.size(), 40);
                ExtendedXmpPart part;
                for (std::size_t i = 0; i < part.guid.size(); ++i) part.guid[i] = fields.u8(i);
                part.fullLength = fields.u32(32);
                part.offset = fields.u32(36);
                const std::uint64_t data = kExtendedXmpHeader.size() + 40;
                if (fields.ok() &&
                    AppendWithin(window, payload + data, length - data, part.bytes,
                                 kMaxExtendedXmpBytes - std::min<std::uint64_t>(
                                                            extendedBytes, kMaxExtendedXmpBytes))) {
                    extendedBytes += part.bytes.size();
                    embedded.extendedXmp.push_back(std::move(part));
                }
            } else if (code == jpeg::kApp2 && head.startsWith(kIccHeader) &&
                       length >= kIccHeader.size() + 2) {
                const std::uint8_t sequence = head.u8(kIccHeader.size());
                const std::uint64_t data = kIccHeader.size() + 2;
                std::vector<std::uint8_t> chunk;
                if (AppendWithin(window, payload + data, length - data, chunk,
                                 kMaxIccBytes - std::min<std::uint64_t>(iccBytes, kMaxIccBytes))) {
                    iccBytes += chunk.size();
                    iccChunks.emplace_back(sequence, std::move(chunk));
                }
            } else if (code == jpeg::kApp13 && head.startsWith(kPhotoshopHeader)) {
                // Photoshop continues its resources from one APP13 into the next.
                AppendWithin(window, payload + kPhotoshopHeader.size(),
                             length - kPhotoshopHeader.size(), photoshop, kMaxIptcBytes);
            }
            return true;
        });
    // The chunks in their numbered order, each number once.
    std::stable_sort(iccChunks.begin(), iccChunks.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < iccChunks.size(); ++i) {
        if (i > 0 && iccChunks[i].first == iccChunks[i - 1].first) continue;
        embedded.icc.insert(embedded.icc.end(), iccChunks[i].second.begin(),
                            iccChunks[i].second.end());
    }
    if (!photoshop.empty()) embedded.iptc = IptcOfPhotoshopResources(ByteView(photoshop, true));
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
void ReadRawProfile(BufferedWindow& window, const std::vector<ProfileChunk>& chunks,
                    ContainerScan& scan) {
    for (const ProfileChunk& chunk : chunks) {
        if (chunk.length > kMaxPngTextChunk) continue;
        const ByteView data = window.exact(chunk.data, chunk.length, true);
        if (data.empty()) continue;
        std::optional<std::vector<std::uint8_t>> profile =
            RawProfileBytes(data.bytes(), chunk.kind);
        if (!profile) continue;
        const std::uint64_t skip =
            ByteView(*profile, false).startsWith(kExifHeader) ? kExifHeader.size() : 0;
        if (!StartsWithTiffHeader(ByteView(*profile, false).sub(skip, profile->size() - skip)))
            continue;
        const std::uint64_t size = profile->size() - skip;
        scan.assembled = std::move(*profile);
        scan.blocks.push_back(TiffBlock{skip, size});
        return;
    }
}

// Walks the chunks by their lengths (never reading image data): the eXIf
// chunk, the XMP packet of an iTXt chunk and the colour profile of iCCP.
// Without an eXIf chunk, a text chunk with a raw Exif profile (as ImageMagick
// writes it) serves. Once the Exif is found the walk ends at the image data:
// writers put the profile (which must) and XMP before it, and the image data
// is usually thousands of 8 KiB chunks, whose headers would cost a read of
// the whole file.
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
        const bool exifChunk = type.startsWith("eXIf"), iccChunk = type.startsWith("iCCP");
        const std::optional<PngText> kind = PngTextKind(type.bytes());
        if (type.startsWith("IEND") || (type.startsWith("IDAT") && !scan.blocks.empty())) break;
        if (exifChunk) {
            if (scan.blocks.empty())
                scan.blocks.push_back(SkipExifHeader(window, BlockAt(data, length, size)));
        } else if (iccChunk && scan.embedded.icc.empty() && length <= kMaxIccBytes) {
            const ByteView bytes = window.exact(data, length, true);
            if (auto profile = IccProfile(bytes.bytes(), kMaxIccBytes))
                scan.embedded.icc = std::move(*profile);
        } else if (kind == PngText::International && scan.embedded.xmp.empty() &&
                   length <= kMaxXmpBytes + kMaxKeyword &&
                   IsXmpKeyword(
                       window.peek(data, std::min<std::uint64_t>(length, kMaxKeyword), true)
                           .bytes())) {
            const ByteView bytes = window.exact(data, length, true);
            if (auto packet = XmpText(bytes.bytes(), kMaxXmpBytes))
                scan.embedded.xmp = std::move(*packet);
        } else if (kind && profiles.size() < kMaxProfileChunks &&
                   IsRawProfileKeyword(
                       window.peek(data, std::min<std::uint64_t>(length, kMaxKeyword), true)
                           .bytes())) {
            profiles.push_back(ProfileChunk{data, length, *kind});
        }
        pos = data + length + 4;  // and the CRC
    }
    if (scan.blocks.empty()) ReadRawProfile(window, profiles, scan);
}

// Walks the RIFF chunks (padded to even sizes): EXIF is the block, "XMP "
// and ICCP are kept.
std::optional<TiffBlock> ScanWebP(BufferedWindow& window, EmbeddedBlocks& embedded) {
    const std::uint64_t size = window.sourceSize();
    std::optional<TiffBlock> block;
    std::uint64_t pos = 12;  // after "RIFF", the size and "WEBP"
    for (std::uint64_t steps = 0; steps < kMaxHeaders; ++steps) {
        const ByteView chunk = window.exact(pos, 8, false);
        if (chunk.empty()) break;
        const std::uint32_t length = chunk.u32(4);
        const std::uint64_t data = pos + 8;
        if (chunk.startsWith("EXIF") && !block) {
            block = SkipExifHeader(window, BlockAt(data, length, size));
        } else if (chunk.startsWith("XMP ") && embedded.xmp.empty()) {
            AppendWithin(window, data, length, embedded.xmp, kMaxXmpBytes);
        } else if (chunk.startsWith("ICCP") && embedded.icc.empty()) {
            AppendWithin(window, data, length, embedded.icc, kMaxIccBytes);
        }
        pos = data + length + (length & 1u);
    }
    return block;
}

// A Fujifilm RAF file embeds a JPEG whose Exif segment is the metadata; the
// header gives the JPEG's offset and length as big-endian words at 84 and 88.
std::optional<TiffBlock> FindRafBlock(BufferedWindow& window, ContainerScan& scan) {
    const std::uint64_t size = window.sourceSize();
    const ByteView where = window.exact(84, 8, true);
    if (where.empty()) return std::nullopt;
    const std::uint64_t offset = where.u32(0);
    const std::uint64_t length = where.u32(4);
    if (offset >= size) return std::nullopt;
    const std::uint64_t end = offset + std::min(length, size - offset);
    if (end - offset < 3 || !window.exact(offset, 3, true).startsWith("\xFF\xD8\xFF"))
        return std::nullopt;
    return ScanJpeg(window, offset, end, scan);
}

}  // namespace

TiffBlock BlockAt(std::uint64_t offset, std::uint64_t length, std::uint64_t sourceSize) {
    const std::uint64_t available = offset <= sourceSize ? sourceSize - offset : 0;
    return TiffBlock{offset, std::min(length, available)};
}

bool StartsWithTiffHeader(const ByteView& bytes) {
    return bytes.startsWith("II*\0"sv) || bytes.startsWith("MM\0*"sv);
}

std::uint64_t CountJpegSegments(const ByteSource& source, std::uint64_t limit, bool throughScans) {
    BufferedWindow window(source);
    return JpegSegmentCount(window, window.sourceSize(), limit, throughScans, kMaxHeaders);
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
        add(ScanJpeg(window, 0, size, scan));
    } else if (head.startsWith("II*\0"sv) || head.startsWith("MM\0*"sv) ||
               head.startsWith("II+\0"sv) || head.startsWith("MM\0+"sv)) {
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
        add(ScanWebP(window, scan.embedded));
    } else if (head.startsWith("FUJIFILMCCD-RAW ")) {
        scan.format = PhotoFormat::Raf;
        add(FindRafBlock(window, scan));
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
