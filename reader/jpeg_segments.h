// The marker segments of a JPEG, one at a time: the walk that the reader's
// container scan, the preview's frame probe and its decoder share. Each
// caller decides what a segment means, where the walk ends (at the first
// scan, after every scan, at the end of the image) and what a segment that
// claims less than its own length field or runs past the end amounts to.
#pragma once

#include "reader/byte_view.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace reader {

namespace jpeg {

// Marker codes: the byte after 0xFF.
enum Marker : std::uint8_t {
    kTem = 0x01,
    kSof0 = 0xC0,  // baseline
    kSof1 = 0xC1,  // extended sequential
    kSof2 = 0xC2,  // progressive
    kDht = 0xC4,
    kJpg = 0xC8,
    kSof10 = 0xCA,  // progressive, arithmetic coding
    kDac = 0xCC,
    kSof15 = 0xCF,
    kRst0 = 0xD0,
    kRst7 = 0xD7,
    kSoi = 0xD8,
    kEoi = 0xD9,
    kSos = 0xDA,
    kDqt = 0xDB,
    kDnl = 0xDC,
    kDri = 0xDD,
    kApp0 = 0xE0,
    kApp1 = 0xE1,
    kApp2 = 0xE2,
    kApp13 = 0xED,
    kApp14 = 0xEE,
    kApp15 = 0xEF,
    kCom = 0xFE,
};

inline constexpr bool IsRestart(int marker) { return marker >= kRst0 && marker <= kRst7; }

// A start of frame: SOF0 to SOF15 but DHT, JPG and DAC, which share the range.
inline constexpr bool IsFrame(int marker) {
    return marker >= kSof0 && marker <= kSof15 && marker != kDht && marker != kJpg &&
           marker != kDac;
}

inline constexpr bool IsApp(int marker) { return marker >= kApp0 && marker <= kApp15; }

}  // namespace jpeg

struct JpegSegment {
    std::uint8_t marker = 0;
    std::uint64_t offset = 0;  // of the marker's 0xFF
    // The length field, which counts itself and the payload; 0 for SOI and
    // EOI, which stand alone, and when the field is cut off.
    std::uint16_t length = 0;
    std::uint64_t payload = 0;  // where the bytes after the length field begin
    // Whether the length field and the bytes it claims (at least the field
    // itself) lie inside the walk.
    bool complete = false;

    std::uint16_t payloadLength() const {
        return length > 2 ? static_cast<std::uint16_t>(length - 2) : 0;
    }
    // The bytes end before the length field does.
    bool lengthCutOff() const { return !complete && length == 0; }
};

struct JpegWalkRules {
    // libjpeg passes over bytes between segments that begin no marker, and
    // over 0xFF 0x00; a strict walk ends there.
    bool skipStrayBytes = false;
    // Markers, fill bytes and stray bytes looked at before the walk gives up.
    std::uint64_t maxSteps = UINT64_MAX;
};

// Bytes in memory as a window for the walk (the reader's BufferedWindow is
// the other kind): `peek` gives up to `length` bytes at `offset`.
class MemoryWindow {
public:
    explicit MemoryWindow(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    ByteView peek(std::uint64_t offset, std::uint64_t length, bool bigEndian) const {
        if (offset >= bytes_.size()) return ByteView({}, bigEndian);
        return ByteView(bytes_.subspan(static_cast<std::size_t>(offset),
                                       static_cast<std::size_t>(std::min<std::uint64_t>(
                                           length, bytes_.size() - offset))),
                        bigEndian);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// Walks the segments of the JPEG at [start, end) of a window, starting after
// its SOI. Fill bytes, restart markers and TEM are passed over; SOI and EOI
// come as segments without a length; after a segment with a length the walk
// goes on past the bytes it claims (two when it claims fewer), whether or not
// they lie inside. After SOS the caller either stops or moves the walk past
// the scan's data with resumeAt().
template <class Window>
class JpegSegmentWalk {
public:
    JpegSegmentWalk(Window& window, std::uint64_t start, std::uint64_t end,
                    JpegWalkRules rules = {})
        : window_(window), position_(start + 2), end_(end), rules_(rules) {}

    // The next segment; nothing at the end of the bytes, at what a strict walk
    // takes for no marker, or once the walk has taken its steps.
    std::optional<JpegSegment> next() {
        while (position_ < end_) {
            if (steps_ >= rules_.maxSteps) {
                gaveUp_ = true;
                return std::nullopt;
            }
            ++steps_;
            const ByteView bytes =
                window_.peek(position_, std::min<std::uint64_t>(2, end_ - position_), true);
            if (bytes.empty()) return std::nullopt;  // unreadable
            const bool marker = bytes.u8(0) == 0xFF;
            if (!marker || (bytes.size() == 2 && bytes.u8(1) == 0x00)) {
                if (!rules_.skipStrayBytes) return std::nullopt;
                position_ += marker ? 2 : 1;
                continue;
            }
            if (bytes.size() < 2) return std::nullopt;
            const std::uint8_t code = bytes.u8(1);
            if (code == 0xFF) {  // a fill byte
                ++position_;
                continue;
            }
            JpegSegment segment;
            segment.marker = code;
            segment.offset = position_;
            position_ += 2;
            segment.payload = position_;
            if (jpeg::IsRestart(code) || code == jpeg::kTem) continue;
            if (code == jpeg::kSoi || code == jpeg::kEoi) {
                segment.complete = true;
                return segment;
            }
            segment.payload = position_ + 2;
            const ByteView field =
                window_.peek(position_, std::min<std::uint64_t>(2, end_ - position_), true);
            if (field.size() < 2) {
                position_ = end_;
                return segment;
            }
            segment.length = field.u16(0);
            const std::uint64_t claimed = std::max<std::uint16_t>(segment.length, 2);
            segment.complete = end_ - position_ >= claimed;
            position_ += claimed;
            return segment;
        }
        return std::nullopt;
    }

    // Goes on from `position` (where a scan's entropy-coded data ends).
    void resumeAt(std::uint64_t position) { position_ = position; }

    // Whether the walk ended because it had taken its steps.
    bool gaveUp() const { return gaveUp_; }

private:
    Window& window_;
    std::uint64_t position_;
    std::uint64_t end_;
    JpegWalkRules rules_;
    std::uint64_t steps_ = 0;
    bool gaveUp_ = false;
};

// Where a scan's entropy-coded data that starts at `position` ends, as
// libjpeg's entropy decoder finds it: at the 0xFF of the first marker that
// is not a restart marker (0xFF 0x00 and fill bytes before it are data), or
// at `end`.
template <class Window>
std::uint64_t EndOfScanData(Window& window, std::uint64_t position, std::uint64_t end) {
    constexpr std::uint64_t kChunk = 64 * 1024;
    while (position < end) {
        const ByteView chunk = window.peek(position, std::min(kChunk, end - position), true);
        if (chunk.empty()) return end;
        const void* found = std::memchr(chunk.bytes().data(), 0xFF, chunk.size());
        if (!found) {
            position += chunk.size();
            continue;
        }
        position += static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(found) -
                                               chunk.bytes().data());
        const ByteView pair =
            window.peek(position, std::min<std::uint64_t>(2, end - position), true);
        if (pair.size() < 2) return end;
        const int code = pair.u8(1);
        if (code == 0xFF) ++position;
        else if (code == 0x00 || jpeg::IsRestart(code)) position += 2;
        else return position;
    }
    return end;
}

// The marker segments libjpeg reads from a JPEG at [0, end) of a window, up
// to one past `limit`: those before the first scan, or with `throughScans`
// those between and after its scans too, up to the end of the image. A walk
// that takes `maxSteps` markers, fill and stray bytes counts as one past
// `limit`, since libjpeg would read on.
template <class Window>
std::uint64_t JpegSegmentCount(Window& window, std::uint64_t end, std::uint64_t limit,
                               bool throughScans, std::uint64_t maxSteps) {
    const ByteView start = window.peek(0, 2, true);
    if (start.size() < 2 || start.u8(0) != 0xFF || start.u8(1) != jpeg::kSoi) return 0;
    // A stray byte must not hide the segments after it from the count.
    JpegSegmentWalk walk(window, 0, end, {.skipStrayBytes = true, .maxSteps = maxSteps});
    std::uint64_t count = 0;
    while (const std::optional<JpegSegment> segment = walk.next()) {
        const int marker = segment->marker;
        if (marker == jpeg::kEoi || marker == jpeg::kSoi || segment->lengthCutOff()) break;
        if (marker == jpeg::kSos && !throughScans) break;
        if (++count > limit) return count;
        if (marker == jpeg::kSos)
            walk.resumeAt(EndOfScanData(window, segment->payload + segment->payloadLength(), end));
    }
    return walk.gaveUp() ? limit + 1 : count;
}

}  // namespace reader
