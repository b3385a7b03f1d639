// The frame probe against libjpeg's own reading of the header: the same
// coefficient buffer for files in one scan, in one scan per component and
// progressive, and nothing found where libjpeg finds no scan.
#include "preview/jpeg_frame.h"

#include "jpeg_test_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using jpegtest::Bytes;
using jpegtest::Layout;

Layout Sampling(std::initializer_list<int> h, std::initializer_list<int> v,
                void (*change)(Layout&) = nullptr) {
    Layout layout;
    std::copy(h.begin(), h.end(), layout.h);
    std::copy(v.begin(), v.end(), layout.v);
    if (change) change(layout);
    return layout;
}

Bytes Insert(Bytes bytes, std::size_t at, const Bytes& more) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), more.begin(), more.end());
    return bytes;
}

TEST(JpegFrame, KeepsWhatTheCodecKeeps) {
    const jpegtest::Picture odd = jpegtest::Scene(333, 211, 7);
    const Bytes progressive = jpegtest::Encode(
        odd, Sampling({2, 1, 1}, {2, 1, 1}, [](Layout& l) { l.progressive = true; }));
    const std::size_t frame = jpegtest::FindMarkers(progressive, 0xC2).front();
    const std::size_t scan = jpegtest::FindMarkers(progressive, 0xDA).front();
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"one scan, 4:2:0", jpegtest::Encode(odd, Sampling({2, 1, 1}, {2, 1, 1}))},
        {"one scan per component, 4:2:2",
         jpegtest::Encode(
             odd, Sampling({2, 1, 1}, {1, 1, 1}, [](Layout& l) { l.separateScans = true; }))},
        {"one scan per component, luma 4 x 4",
         jpegtest::Encode(
             odd, Sampling({4, 1, 1}, {4, 1, 1}, [](Layout& l) { l.separateScans = true; }))},
        {"progressive 4:2:0", progressive},
        {"progressive grey",
         jpegtest::Encode(
             odd, Sampling({1}, {1}, [](Layout& l) { l.components = 1, l.progressive = true; }))},
        {"progressive, luma 3 x 1",
         jpegtest::Encode(odd,
                          Sampling({3, 1, 1}, {1, 1, 1}, [](Layout& l) { l.progressive = true; }))},
        {"progressive, arithmetic coding",
         jpegtest::Encode(odd, Sampling({2, 1, 1}, {1, 1, 1},
                                        [](Layout& l) { l.progressive = l.arithmetic = true; }))},
        {"progressive CMYK", jpegtest::Encode(odd, Sampling({1, 1, 1, 1}, {1, 1, 1, 1},
                                                            [](Layout& l) {
                                                                l.components = 4,
                                                                l.progressive = true;
                                                            }))},
        {"garbage and fill bytes before the frame",
         Insert(progressive, frame, {0x12, 0x34, 0xFF, 0xFF})},
        {"40000 x 40000 grey in 3 MB", jpegtest::FlatProgressiveGrey(40000, 40000, true)},
        // Nothing to find.
        {"cut before the first scan",
         Bytes(progressive.begin(), progressive.begin() + static_cast<std::ptrdiff_t>(scan))},
        {"cut inside the frame header",
         Bytes(progressive.begin(), progressive.begin() + static_cast<std::ptrdiff_t>(frame + 9))},
        {"a second frame header",
         Insert(progressive, scan,
                Bytes(progressive.begin() + static_cast<std::ptrdiff_t>(frame),
                      progressive.begin() + static_cast<std::ptrdiff_t>(frame + 19)))},
        {"not a JPEG", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.bytes.empty()) << c.name;
        const std::optional<std::uint64_t> codec = jpegtest::KeptCoefficientBytes(c.bytes);
        const preview::JpegFrame found = preview::ReadJpegFrame(c.bytes);
        EXPECT_EQ(found.found, codec.has_value()) << c.name;
        if (codec) {
            EXPECT_EQ(found.keptCoefficientBytes, *codec) << c.name;
        }
    }
}

}  // namespace
