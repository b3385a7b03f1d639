// Feeds arbitrary bytes to the JPEG preview decoder, sequential and
// progressive, and to the frame probe. Besides the sanitizers it checks the
// decoder's promises: nothing or a whole preview of the promised size, opaque
// pixels, buffers within the limit given; and, whenever libjpeg decodes the
// same bytes at an eighth too, the very same pixels (for a progressive file:
// from its DC scans, the AC ones passed over, against libjpeg's decode of
// every coefficient). The probe must find the coefficient buffer libjpeg's
// full decoder would keep, and the segment walk the APPn and COM segments
// libjpeg saves, whenever libjpeg reads the header. A scan with restart
// markers is decoded by two threads as well as by one: the same preview.
#include "preview/jpeg_dc_preview.h"
#include "preview/jpeg_frame.h"
#include "reader/jpeg_segments.h"

#include "jpeg_test_codec.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

namespace {

void Check(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_jpeg_preview.cpp:%d: broken promise: %s\n", line, what);
    std::abort();
}
#define Require(condition) Check((condition), #condition, __LINE__)

constexpr std::uint64_t kMaxBytes = 64ull << 20;

bool SamePixels(const preview::JpegPreview& preview, const jpegtest::Picture& reference) {
    if (int(preview.width) != reference.width || int(preview.height) != reference.height)
        return false;
    for (std::size_t i = 0; i < preview.pixels.size(); ++i) {
        const std::uint32_t pixel = preview.pixels[i];
        const std::uint8_t* rgb = &reference.rgb[i * 3];
        if (((pixel >> 16) & 255) != rgb[0] || ((pixel >> 8) & 255) != rgb[1] ||
            (pixel & 255) != rgb[2])
            return false;
    }
    return true;
}

// FF FF ... FF 00, which the standard does not allow: libjpeg's fast path
// reads it as a marker, its slow path (which the preview follows) as an FF
// data byte, and when it falls back from one to the other mid-block the
// coefficients the first attempt wrote stay.
bool HasFillBeforeStuffing(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 2 < size; ++i) {
        if (data[i] != 0xFF || data[i + 1] != 0xFF) continue;
        std::size_t next = i + 2;
        while (next < size && data[next] == 0xFF) ++next;
        if (next < size && data[next] == 0) return true;
        i = next;
    }
    return false;
}

// The APPn and COM segments before the first scan, walked as libjpeg walks.
std::vector<jpegtest::SavedSegment> SegmentsWalked(std::span<const std::uint8_t> jpeg) {
    reader::MemoryWindow window(jpeg);
    reader::JpegSegmentWalk walk(window, 0, jpeg.size(), {.skipStrayBytes = true});
    std::vector<jpegtest::SavedSegment> found;
    while (const std::optional<reader::JpegSegment> segment = walk.next()) {
        if (segment->marker == reader::jpeg::kSos) break;
        if (!segment->complete) {
            // Cut short at the end of the file, where libjpeg finds no scan.
            found.push_back({});
            break;
        }
        if ((reader::jpeg::IsApp(segment->marker) || segment->marker == reader::jpeg::kCom) &&
            segment->length >= 2) {
            const std::uint8_t* payload = jpeg.data() + segment->payload;
            found.push_back(
                {segment->marker, jpegtest::Bytes(payload, payload + segment->payloadLength())});
        }
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // libjpeg's vector code for its small inverse transforms multiplies in
    // 16-bit lanes, so on coefficients no encoder writes it parts from its own
    // plain code, which is what the preview follows.
    setenv("JSIMD_FORCENONE", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using preview::JpegPreview;
    const preview::JpegFrame frame = preview::ReadJpegFrame({data, size});
    if (const std::optional<std::uint64_t> kept = jpegtest::KeptCoefficientBytes({data, size});
        kept && frame.found)
        Require(frame.keptCoefficientBytes == *kept);
    if (const std::optional<std::vector<jpegtest::SavedSegment>> saved =
            jpegtest::SegmentsBeforeScan({data, size}))
        Require(SegmentsWalked({data, size}) == *saved);

    // Split at a restart marker wherever the data has one past its middle, the
    // scan is decoded by two threads: they must give what one thread gives.
    const JpegPreview preview = preview::DecodeJpegPreview({data, size}, kMaxBytes, 1);
    const JpegPreview oneThread = preview::DecodeJpegPreview({data, size}, kMaxBytes, UINT64_MAX);
    Require(preview.result == oneThread.result && preview.pixels == oneThread.pixels);
    if (preview.result == JpegPreview::Result::NotHandled) {
        Require(preview.pixels.empty());
        return 0;
    }
    Require(preview.imageWidth > 0 && preview.imageHeight > 0);
    Require(preview.width == (preview.imageWidth + 7) / 8);
    Require(preview.height == (preview.imageHeight + 7) / 8);
    Require(preview.pixels.size() == std::uint64_t{preview.width} * preview.height);
    Require(preview.pixels.size() * sizeof(std::uint32_t) <= kMaxBytes);
    for (std::uint32_t pixel : preview.pixels) Require((pixel >> 24) == 0xFF);

    // Where libjpeg gives up, the preview may still show what it decoded.
    if (HasFillBeforeStuffing(data, size)) return 0;
    const jpegtest::Decoded reference = jpegtest::DecodeEighth({data, size});
    if (!reference.ok) return 0;
    // Past the end libjpeg reads end-of-image markers, FF D9 FF D9 ..., even
    // inside a marker segment cut short; the preview stops there instead. So
    // the preview of the bytes as libjpeg reads them must be libjpeg's.
    std::vector<std::uint8_t> asRead(data, data + size);
    for (int i = 0; i < 128; ++i) asRead.insert(asRead.end(), {0xFF, 0xD9});
    const JpegPreview same = preview::DecodeJpegPreview(asRead, kMaxBytes);
    if (same.result != JpegPreview::Result::NotHandled)
        Require(SamePixels(same, reference.picture));
    return 0;
}
