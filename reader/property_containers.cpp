#include "reader/property_containers.h"

#include "reader/property_source_window.h"

#include <algorithm>
#include <string_view>

namespace reader {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kExifHeader = "Exif\0\0"sv;

// A block that starts at `offset` and claims `length` bytes, cut to the source.
TiffBlock BlockAt(std::uint64_t offset, std::uint64_t length, std::uint64_t sourceSize) {
    const std::uint64_t available = offset <= sourceSize ? sourceSize - offset : 0;
    return TiffBlock{offset, std::min(length, available)};
}

// A payload that may begin with the "Exif\0\0" header of a JPEG segment.
TiffBlock SkipExifHeader(BufferedWindow& window, TiffBlock block) {
    if (block.size >= kExifHeader.size() &&
        window.peek(block.offset, kExifHeader.size(), false).startsWith(kExifHeader)) {
        block.offset += kExifHeader.size();
        block.size -= kExifHeader.size();
    }
    return block;
}

// Markers that stand alone, without a length: TEM, RST0-7, SOI.
bool IsStandaloneMarker(std::uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// Walks the marker segments of the JPEG at [start, end) up to the image data;
// the first APP1 segment that starts with "Exif\0\0" holds the block. Each
// marker and each fill byte counts against kMaxHeaders.
std::optional<TiffBlock> FindJpegBlock(BufferedWindow& window, std::uint64_t start, std::uint64_t end) {
    std::uint64_t pos = start + 2;  // after SOI
    for (std::uint64_t steps = 0; steps < kMaxHeaders && pos < end; ++steps) {
        if (end - pos < 2) return std::nullopt;
        const ByteView marker = window.exact(pos, 2, true);
        if (marker.empty() || marker.u8(0) != 0xFF) return std::nullopt;  // not a marker: give up
        const std::uint8_t code = marker.u8(1);
        if (code == 0xFF) {  // a fill byte
            ++pos;
            continue;
        }
        pos += 2;
        if (IsStandaloneMarker(code)) continue;
        if (code == 0x00 || code == 0xD9 || code == 0xDA) return std::nullopt;  // EOI, SOS
        if (end - pos < 2) return std::nullopt;
        const ByteView lengthBytes = window.exact(pos, 2, true);
        if (lengthBytes.empty()) return std::nullopt;
        const std::uint16_t length = lengthBytes.u16(0);
        if (length < 2) return std::nullopt;
        const std::uint64_t payload = pos + 2;
        const std::uint64_t payloadLength = length - 2u;
        if (code == 0xE1 && payloadLength >= kExifHeader.size() &&
            window.peek(payload, kExifHeader.size(), true).startsWith(kExifHeader)) {
            return BlockAt(payload + kExifHeader.size(), payloadLength - kExifHeader.size(), end);
        }
        pos = payload + payloadLength;
    }
    return std::nullopt;
}

// Walks the chunks by their lengths (never reading image data) until eXIf or
// IEND.
std::optional<TiffBlock> FindPngBlock(BufferedWindow& window) {
    const std::uint64_t size = window.sourceSize();
    std::uint64_t pos = 8;  // after the signature
    for (std::uint64_t steps = 0; steps < kMaxHeaders; ++steps) {
        const ByteView chunk = window.exact(pos, 8, true);
        if (chunk.empty()) return std::nullopt;
        const std::uint32_t length = chunk.u32(0);
        if (length > 0x7FFFFFFFu) return std::nullopt;  // PNG lengths are 31-bit
        const ByteView type = chunk.sub(4, 4);
        const std::uint64_t data = pos + 8;
        if (type.startsWith("eXIf")) return SkipExifHeader(window, BlockAt(data, length, size));
        if (type.startsWith("IEND")) return std::nullopt;
        pos = data + length + 4;  // and the CRC
    }
    return std::nullopt;
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

}  // namespace

ContainerScan ScanContainer(const ByteSource& source) {
    BufferedWindow window(source);
    const ByteView head = window.peek(0, 12, false);
    ContainerScan scan;
    if (head.startsWith("\xFF\xD8\xFF")) {
        scan.format = PhotoFormat::Jpeg;
        scan.block = FindJpegBlock(window, 0, source.size());
    } else if (head.startsWith("II*\0"sv) || head.startsWith("MM\0*"sv) ||
               head.startsWith("II+\0"sv) || head.startsWith("MM\0+"sv)) {
        // The file is the block. BigTIFF is recognised; its 64-bit directories
        // are not read, so it lists no items.
        scan.format = PhotoFormat::Tiff;
        scan.block = TiffBlock{0, source.size()};
    } else if (head.startsWith("\x89PNG\r\n\x1A\n")) {
        scan.format = PhotoFormat::Png;
        scan.block = FindPngBlock(window);
    } else if (head.startsWith("RIFF") && head.sub(8, 4).startsWith("WEBP")) {
        scan.format = PhotoFormat::WebP;
        scan.block = FindWebPBlock(window);
    } else if (head.startsWith("BM")) {
        scan.format = PhotoFormat::Bmp;
    } else if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        scan.format = PhotoFormat::Gif;
    }
    return scan;
}

}  // namespace reader
