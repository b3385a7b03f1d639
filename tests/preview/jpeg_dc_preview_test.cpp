// The DC-only preview decoder against libjpeg's own eighth-size decode, over
// JPEGs made in code: Qt's writer, and libjpeg with chosen sampling factors,
// restart intervals and scans; then broken, truncated and unhandled files.
#include "preview/jpeg_dc_preview.h"

#include "jpeg_test_codec.h"

#include "shell_quote.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

using jpegtest::Bytes;
using jpegtest::Layout;
using jpegtest::Picture;
using preview::DecodeJpegPreview;
using preview::JpegPreview;
using Result = JpegPreview::Result;

constexpr std::uint64_t kNoLimit = 1ull << 32;

// libjpeg's plain code, which the preview follows: its SIMD transforms work
// in 16 bits, and part from it on values no photo has. Set before libjpeg
// first runs, as it asks once.
[[maybe_unused]] const bool kPlainCodec = setenv("JSIMD_FORCENONE", "1", 1) == 0;

// Where the preview and libjpeg's eighth-size decode of the same bytes differ:
// "" when they are the same size and every pixel is equal.
std::string Mismatch(const JpegPreview& preview, const Picture& reference) {
    if (int(preview.width) != reference.width || int(preview.height) != reference.height ||
        preview.pixels.size() != std::size_t(reference.width) * reference.height)
        return "size " + std::to_string(preview.width) + " x " + std::to_string(preview.height) +
               ", libjpeg " + std::to_string(reference.width) + " x " +
               std::to_string(reference.height);
    int differing = 0;
    std::string first;
    for (std::size_t i = 0; i < preview.pixels.size(); ++i) {
        const std::uint32_t pixel = preview.pixels[i];
        const int ours[3] = {int(pixel >> 16 & 255), int(pixel >> 8 & 255), int(pixel & 255)};
        const std::uint8_t* theirs = &reference.rgb[i * 3];
        if (ours[0] == theirs[0] && ours[1] == theirs[1] && ours[2] == theirs[2]) continue;
        if (differing++ == 0)
            first = "pixel " + std::to_string(i % preview.width) + "," +
                    std::to_string(i / preview.width) + ": " + std::to_string(ours[0]) + " " +
                    std::to_string(ours[1]) + " " + std::to_string(ours[2]) + ", libjpeg " +
                    std::to_string(theirs[0]) + " " + std::to_string(theirs[1]) + " " +
                    std::to_string(theirs[2]);
    }
    return differing ? std::to_string(differing) + " pixels differ, first " + first : "";
}

// The preview of `bytes` is libjpeg's eighth-size decode of them, pixel for
// pixel; "" when so.
std::string DiffersFromCodec(std::span<const std::uint8_t> bytes, const JpegPreview& preview) {
    const jpegtest::Decoded reference = jpegtest::DecodeEighth(bytes);
    if (!reference.ok) return "libjpeg cannot decode it";
    return Mismatch(preview, reference.picture);
}

QImage ToQImage(const Picture& picture, bool grey) {
    QImage image(picture.width, picture.height, QImage::Format_RGB888);
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(&picture.rgb[std::size_t(y) * picture.width * 3], picture.width * 3,
                    image.scanLine(y));
    return grey ? image.convertToFormat(QImage::Format_Grayscale8) : image;
}

// Saved by Qt's writer (which always samples the chroma 4:2:0).
Bytes QtJpeg(const Picture& picture, int quality, bool grey = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(ToQImage(picture, grey)));
    return Bytes(bytes.begin(), bytes.end());
}

Layout Sampling(std::initializer_list<int> h, std::initializer_list<int> v) {
    Layout layout;
    std::copy(h.begin(), h.end(), layout.h);
    std::copy(v.begin(), v.end(), layout.v);
    return layout;
}

Layout With(Layout layout, void (*change)(Layout&)) {
    change(layout);
    return layout;
}

const Layout k444 = Sampling({1, 1, 1}, {1, 1, 1});
const Layout k420 = Sampling({2, 1, 1}, {2, 1, 1});

Bytes Erase(Bytes bytes, std::size_t at, std::size_t count) {
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
    return bytes;
}

Bytes Insert(Bytes bytes, std::size_t at, const Bytes& more) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), more.begin(), more.end());
    return bytes;
}

Bytes Patch(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
    return bytes;
}

// The component ids and markers libjpeg reads the colour space from.
Bytes WithIds(Bytes jpeg, std::uint8_t first, std::uint8_t second, std::uint8_t third) {
    const std::size_t sof = jpegtest::FindMarkers(jpeg, 0xC0).front();
    const std::size_t sos = jpegtest::FindMarkers(jpeg, 0xDA).front();
    jpeg[sof + 10] = jpeg[sos + 5] = first;
    jpeg[sof + 13] = jpeg[sos + 7] = second;
    jpeg[sof + 16] = jpeg[sos + 9] = third;
    return jpeg;
}

Bytes WithoutJfif(Bytes jpeg) {
    const std::size_t app0 = jpegtest::FindMarkers(jpeg, 0xE0).front();
    return Patch(std::move(jpeg), app0 + 7, 'X');  // "JFIX"
}

// Another Adobe marker, just before the end of the image.
Bytes WithLateAdobeMarker(Bytes jpeg, std::uint8_t transform) {
    const Bytes marker = {0xFF, 0xEE, 0,   14, 'A', 'd', 'o', 'b',
                          'e',  0,    100, 0,  0,   0,   0,   transform};
    const std::size_t end = jpegtest::FindMarkers(jpeg, 0xD9).back();
    return Insert(std::move(jpeg), end, marker);
}

Bytes WithAdobeTransform(Bytes jpeg, std::uint8_t transform) {
    const std::size_t app14 = jpegtest::FindMarkers(jpeg, 0xEE).front();
    return Patch(std::move(jpeg), app14 + 4 + 11, transform);
}

// Without its Huffman tables, as a Motion-JPEG frame: the standard ones apply,
// and they are the ones libjpeg wrote.
Bytes WithoutHuffmanTables(Bytes jpeg) {
    const std::vector<std::size_t> tables = jpegtest::FindMarkers(jpeg, 0xC4);
    for (auto at = tables.rbegin(); at != tables.rend(); ++at) {
        const std::size_t length = 2 + (std::size_t{jpeg[*at + 2]} << 8 | jpeg[*at + 3]);
        jpeg = Erase(std::move(jpeg), *at, length);
    }
    return jpeg;
}

// An over-full DC table 3, which no scan names: libjpeg checks a table only
// when a scan uses it.
Bytes WithUnusedBrokenTable(Bytes jpeg) {
    Bytes table = {0xFF, 0xC4, 0, 2 + 1 + 16 + 3, 0x03, 3};
    table.resize(table.size() + 15, 0);
    table.insert(table.end(), {0, 1, 2});
    const std::size_t scan = jpegtest::FindMarkers(jpeg, 0xDA).front();
    return Insert(std::move(jpeg), scan, table);
}

// Sequential decoders ignore the range; libjpeg only warns.
Bytes WithSpectralRange(Bytes jpeg, std::uint8_t start, std::uint8_t end) {
    const std::size_t sos = jpegtest::FindMarkers(jpeg, 0xDA).front();
    const std::size_t range = sos + 5 + 2 * std::size_t{jpeg[sos + 4]};
    jpeg[range] = start;
    jpeg[range + 1] = end;
    return jpeg;
}

struct Photo {
    const char* name;
    Bytes bytes;
};

// libjpeg's eighth is the DC alone, or (for a component sampled at half or a
// quarter of the rate both ways, as the chroma of 4:2:0) a 2 x 2 or 4 x 4
// inverse transform with a few AC coefficients, repeated over the preview
// where subsampled; the preview decoder does the same in the same fixed point.

TEST(JpegPreview, MatchesTheCodecsEighthSizeDecode) {
    const Picture scene = jpegtest::Scene(640, 480);
    const Picture odd = jpegtest::Scene(333, 211, 7);
    const Photo photos[] = {
        {"qt quality 75", QtJpeg(scene, 75)},
        {"qt quality 95", QtJpeg(scene, 95)},
        {"qt grey", QtJpeg(scene, 90, true)},
        {"4:4:4", Encode(scene, k444)},
        {"4:4:4 quality 100 (long DC codes)",
         Encode(scene, With(k444, [](Layout& l) { l.quality = 100; }))},
        {"4:2:2", Encode(scene, Sampling({2, 1, 1}, {1, 1, 1}))},
        {"4:4:0", Encode(scene, Sampling({1, 1, 1}, {2, 1, 1}))},
        {"4:2:0", Encode(scene, k420)},
        {"4:1:1", Encode(scene, Sampling({4, 1, 1}, {1, 1, 1}))},
        {"luma 3 x 1", Encode(odd, Sampling({3, 1, 1}, {1, 1, 1}))},
        {"luma 4 x 2", Encode(odd, Sampling({4, 1, 1}, {2, 1, 1}))},
        {"blue chroma 2 x 2, the rest 1 x 1", Encode(odd, Sampling({1, 2, 1}, {1, 2, 1}))},
        {"restart every MCU", Encode(scene, With(k420, [](Layout& l) { l.restartInterval = 1; }))},
        {"restart every 7 MCUs", Encode(odd, With(k444, [](Layout& l) { l.restartInterval = 7; }))},
        {"one scan per component",
         Encode(odd, With(k420, [](Layout& l) { l.separateScans = true; }))},
        {"4:4:4 one scan per component, restarts",
         Encode(odd, With(k444, [](Layout& l) { l.separateScans = true, l.restartInterval = 3; }))},
        {"luma 4 x 4, one scan per component",
         Encode(scene,
                With(Sampling({4, 1, 1}, {4, 1, 1}), [](Layout& l) { l.separateScans = true; }))},
        {"optimised tables", Encode(scene, With(k420, [](Layout& l) { l.optimize = true; }))},
        {"stored as RGB", Encode(scene, With(k444, [](Layout& l) { l.rgb = true; }))},
        {"ids R, G, B and no JFIF marker: RGB",
         WithIds(WithoutJfif(Encode(odd, k444)), 'R', 'G', 'B')},
        {"ids R, G, B under a JFIF marker: YCbCr", WithIds(Encode(odd, k444), 'R', 'G', 'B')},
        {"Adobe transform 1: YCbCr",
         WithAdobeTransform(Encode(odd, With(k444, [](Layout& l) { l.rgb = true; })), 1)},
        {"Adobe transform 7: YCbCr",
         WithAdobeTransform(Encode(odd, With(k444, [](Layout& l) { l.rgb = true; })), 7)},
        {"Adobe transform 1 after the scan: still RGB",
         WithLateAdobeMarker(Encode(odd, With(k444, [](Layout& l) { l.rgb = true; })), 1)},
        {"ids 7, 8, 9 and no marker: YCbCr", WithIds(WithoutJfif(Encode(odd, k444)), 7, 8, 9)},
        {"no Huffman tables", WithoutHuffmanTables(Encode(scene, k420))},
        {"a broken Huffman table no scan uses", WithUnusedBrokenTable(Encode(odd, k420))},
        {"a comment claiming no length", Insert(Encode(odd, k420), 2, {0xFF, 0xFE, 0, 0})},
        {"no Huffman tables, grey",
         WithoutHuffmanTables(Encode(odd, With(k444, [](Layout& l) { l.components = 1; })))},
        {"scan header with zeros for the spectral range",
         WithSpectralRange(Encode(odd, k420), 0, 0)},
        {"scan header with a progressive range", WithSpectralRange(Encode(odd, k420), 1, 5)},
        {"grey with restarts",
         Encode(odd, With(k444, [](Layout& l) { l.components = 1, l.restartInterval = 5; }))},
        {"1 x 1", Encode(jpegtest::Scene(1, 1), k420)},
        {"9 x 17 4:4:4", Encode(jpegtest::Scene(9, 17), k444)},
        {"9 x 17 4:2:2", Encode(jpegtest::Scene(9, 17), Sampling({2, 1, 1}, {1, 1, 1}))},
        {"4001 x 3001 4:4:4", Encode(jpegtest::Scene(4001, 3001, 3), k444)},
        {"4001 x 3001 by qt", QtJpeg(jpegtest::Scene(4001, 3001, 3), 90)},
    };
    for (const Photo& photo : photos) {
        ASSERT_FALSE(photo.bytes.empty()) << photo.name;
        const JpegPreview preview = DecodeJpegPreview(photo.bytes, kNoLimit);
        EXPECT_EQ(preview.result, Result::Complete) << photo.name;
        EXPECT_EQ(DiffersFromCodec(photo.bytes, preview), "") << photo.name;
    }
}

using Script = std::vector<jpegtest::Scan>;

Layout Progressive(Layout layout, Script script = {}) {
    layout.progressive = true;
    layout.script = std::move(script);
    return layout;
}

const Layout kGrey = With(k444, [](Layout& l) { l.components = 1; });

// Scripts other than libjpeg's usual one (which sends the DC with its lowest
// bit held back, and the AC in bands with two bits held back for the luma and
// one for the chroma, refined afterwards).
const Script kWholeCoefficients = {
    {{0, 1, 2}, 0, 0, 0, 0}, {{0}, 1, 63, 0, 0}, {{1}, 1, 63, 0, 0}, {{2}, 1, 63, 0, 0}};
const Script kDcByComponent = {{{2}, 0, 0, 0, 0},  {{0}, 0, 0, 0, 0},  {{1}, 0, 0, 0, 0},
                               {{1}, 1, 63, 0, 0}, {{0}, 1, 63, 0, 0}, {{2}, 1, 63, 0, 0}};
// The DC in three steps, the chroma's AC in narrow bands refined twice, the
// refinements out of order.
const Script kManySteps = {
    {{0, 1, 2}, 0, 0, 0, 2}, {{1}, 1, 1, 0, 2},  {{1}, 2, 9, 0, 2},  {{1}, 10, 63, 0, 2},
    {{2}, 1, 5, 0, 2},       {{2}, 6, 63, 0, 2}, {{0}, 1, 63, 0, 1}, {{0, 2}, 0, 0, 2, 1},
    {{1}, 0, 0, 2, 1},       {{2}, 1, 63, 2, 1}, {{1}, 1, 63, 2, 1}, {{0}, 1, 63, 1, 0},
    {{1}, 1, 3, 1, 0},       {{1}, 4, 63, 1, 0}, {{2}, 1, 63, 1, 0}, {{0, 1, 2}, 0, 0, 1, 0}};
// The same with no DC scan for two components or more, as an MCU of a luma
// sampled 4 x 4 holds too many blocks for one.
const Script kStepsAlone = {{{0}, 0, 0, 0, 1},  {{1}, 0, 0, 0, 1},  {{2}, 0, 0, 0, 1},
                            {{1}, 1, 63, 0, 2}, {{2}, 1, 63, 0, 1}, {{0}, 1, 63, 0, 0},
                            {{1}, 1, 63, 2, 1}, {{1}, 1, 63, 1, 0}, {{2}, 1, 63, 1, 0},
                            {{0}, 0, 0, 1, 0},  {{1}, 0, 0, 1, 0},  {{2}, 0, 0, 1, 0}};
// The DC's lowest bit never sent: nothing is missing from the AC, so libjpeg
// does not smooth, and the DC is what it is.
const Script kDcLowBitNeverSent = {
    {{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 63, 0, 0}, {{1}, 1, 63, 0, 0}, {{2}, 1, 63, 0, 0}};
const Script kGreySteps = {{{0}, 0, 0, 0, 3},  {{0}, 1, 5, 0, 1}, {{0}, 0, 0, 3, 2},
                           {{0}, 6, 63, 0, 0}, {{0}, 1, 5, 1, 0}, {{0}, 0, 0, 2, 1},
                           {{0}, 0, 0, 1, 0}};

// A progressive file is drawn from its DC scans, its AC scans skipped; where
// libjpeg's eighth takes AC coefficients (a component sampled at half or a
// quarter of the others' rate both ways) those are decoded too.
TEST(JpegPreview, ProgressiveMatchesTheCodecsEighthSizeDecode) {
    const Picture scene = jpegtest::Scene(640, 480);
    const Picture odd = jpegtest::Scene(333, 211, 7);
    const Photo photos[] = {
        {"grey", Encode(odd, Progressive(kGrey))},
        {"4:4:4", Encode(scene, Progressive(k444))},
        {"4:2:2", Encode(odd, Progressive(Sampling({2, 1, 1}, {1, 1, 1})))},
        {"4:4:0", Encode(odd, Progressive(Sampling({1, 1, 1}, {2, 1, 1})))},
        {"4:2:0", Encode(scene, Progressive(k420))},
        {"4:2:0, odd size", Encode(odd, Progressive(k420))},
        {"4:1:1", Encode(odd, Progressive(Sampling({4, 1, 1}, {1, 1, 1})))},
        {"luma 4 x 4 (chroma through the 4 x 4 transform)",
         Encode(scene, Progressive(Sampling({4, 1, 1}, {4, 1, 1}), kDcByComponent))},
        {"luma 3 x 1", Encode(odd, Progressive(Sampling({3, 1, 1}, {1, 1, 1})))},
        {"luma 4 x 2", Encode(odd, Progressive(Sampling({4, 1, 1}, {2, 1, 1})))},
        {"blue chroma 2 x 2, the rest 1 x 1",
         Encode(odd, Progressive(Sampling({1, 2, 1}, {1, 2, 1})))},
        {"quality 100", Encode(scene, Progressive(With(k420, [](Layout& l) { l.quality = 100; })))},
        {"quality 20", Encode(scene, Progressive(With(k420, [](Layout& l) { l.quality = 20; })))},
        {"stored as RGB", Encode(odd, Progressive(With(k444, [](Layout& l) { l.rgb = true; })))},
        {"restart every MCU",
         Encode(odd, Progressive(With(k420, [](Layout& l) { l.restartInterval = 1; })))},
        {"restart every 7 MCUs",
         Encode(odd, Progressive(With(k444, [](Layout& l) { l.restartInterval = 7; })))},
        {"grey, restart every 5 MCUs",
         Encode(odd, Progressive(With(kGrey, [](Layout& l) { l.restartInterval = 5; })))},
        {"whole coefficients, no successive approximation",
         Encode(odd, Progressive(k420, kWholeCoefficients))},
        {"DC one component a scan", Encode(odd, Progressive(k420, kDcByComponent))},
        {"many steps and bands, 4:2:0", Encode(scene, Progressive(k420, kManySteps))},
        {"many steps and bands, 4:2:0, restarts",
         Encode(odd,
                Progressive(With(k420, [](Layout& l) { l.restartInterval = 3; }), kManySteps))},
        {"each scan one component, in steps, luma 4 x 4",
         Encode(odd, Progressive(Sampling({4, 1, 1}, {4, 1, 1}), kStepsAlone))},
        {"each scan one component, in steps, 4:2:0, restarts",
         Encode(odd,
                Progressive(With(k420, [](Layout& l) { l.restartInterval = 2; }), kStepsAlone))},
        {"many steps and bands, 4:4:4", Encode(odd, Progressive(k444, kManySteps))},
        {"DC's low bit never sent", Encode(odd, Progressive(k420, kDcLowBitNeverSent))},
        // libjpeg estimates no more than the first nine AC coefficients.
        {"no AC from coefficient 10 on", Encode(odd, Progressive(k420, {{{0, 1, 2}, 0, 0, 0, 0},
                                                                        {{0}, 1, 9, 0, 0},
                                                                        {{1}, 1, 9, 0, 0},
                                                                        {{2}, 1, 9, 0, 0}}))},
        {"grey in steps", Encode(odd, Progressive(kGrey, kGreySteps))},
        {"flat grey, runs of empty blocks across rows",
         jpegtest::FlatProgressiveGrey(2000, 1500, true)},
        {"1 x 1", Encode(jpegtest::Scene(1, 1), Progressive(k420))},
        {"9 x 17 4:2:2",
         Encode(jpegtest::Scene(9, 17), Progressive(Sampling({2, 1, 1}, {1, 1, 1})))},
        {"4001 x 3001 4:2:0", Encode(jpegtest::Scene(4001, 3001, 3), Progressive(k420))},
    };
    for (const Photo& photo : photos) {
        ASSERT_FALSE(photo.bytes.empty()) << photo.name;
        const JpegPreview preview = DecodeJpegPreview(photo.bytes, kNoLimit);
        EXPECT_EQ(preview.result, Result::Complete) << photo.name;
        EXPECT_EQ(DiffersFromCodec(photo.bytes, preview), "") << photo.name;
    }
}

// Progressive files as ImageMagick writes them (`convert -interlace JPEG`),
// in the samplings it offers.
TEST(JpegPreview, ProgressiveFromImageMagickMatchesTheCodec) {
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is needed (test.sh installs it)";
    QTemporaryDir dir;
    const std::string input = dir.filePath(QStringLiteral("scene.ppm")).toStdString();
    const std::string output = dir.filePath(QStringLiteral("scene.jpg")).toStdString();
    const Picture scene = jpegtest::Scene(333, 211, 7);
    {
        std::ofstream ppm(input, std::ios::binary);
        ppm << "P6\n" << scene.width << ' ' << scene.height << "\n255\n";
        ppm.write(reinterpret_cast<const char*>(scene.rgb.data()),
                  static_cast<std::streamsize>(scene.rgb.size()));
    }
    const char* conversions[] = {
        "-interlace JPEG",
        "-interlace JPEG -quality 30",
        "-interlace JPEG -quality 98 -sampling-factor 4:4:4",
        "-interlace JPEG -sampling-factor 4:2:2",
        "-interlace JPEG -sampling-factor 4:1:1",
        "-interlace JPEG -colorspace Gray",
    };
    for (const char* options : conversions) {
        const std::string command = "convert " + testsupport::ShellQuote(input) + " " + options +
                                    " " + testsupport::ShellQuote(output);
        ASSERT_EQ(std::system(command.c_str()), 0) << options;
        std::ifstream in(output, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(jpegtest::FindMarkers(bytes, 0xC2).empty()) << options << ": not progressive";
        const JpegPreview preview = DecodeJpegPreview(bytes, kNoLimit);
        EXPECT_EQ(preview.result, Result::Complete) << options;
        EXPECT_EQ(DiffersFromCodec(bytes, preview), "") << options;
    }
}

// A file cut short anywhere in its entropy data gives what libjpeg gives: the
// blocks decoded so far, the rest mid-grey; cut in its headers, nothing. A
// progressive file cut before its last scan began lacks AC bits, which libjpeg
// then estimates from the neighbouring blocks: that is left to it.
TEST(JpegPreview, CutShortEndsLikeTheCodec) {
    const Picture scene = jpegtest::Scene(120, 88, 5);
    const struct {
        const char* name;
        Bytes bytes;
        int drawnFrom;  // the scan (counted from the end when negative) whose data the preview
                        // needs
    } files[] = {
        {"4:4:4", Encode(scene, k444), 0},
        {"grey, restarts", Encode(scene, With(kGrey, [](Layout& l) { l.restartInterval = 4; })), 0},
        {"4:2:0, restarts", Encode(scene, With(k420, [](Layout& l) { l.restartInterval = 2; })), 0},
        {"4:2:2, one scan per component",
         Encode(scene,
                With(Sampling({2, 1, 1}, {1, 1, 1}), [](Layout& l) { l.separateScans = true; })),
         0},
        {"progressive 4:2:0, restarts",
         Encode(scene, Progressive(With(k420, [](Layout& l) { l.restartInterval = 3; }))), -1},
        {"progressive grey", Encode(scene, Progressive(kGrey)), -1},
        // The last scan refines the DC, which the preview decodes; the one
        // before sends the last AC bits.
        {"progressive 4:4:4 in many steps", Encode(scene, Progressive(k444, kManySteps)), -2},
    };
    for (const auto& file : files) {
        const std::vector<std::size_t> scans = jpegtest::FindMarkers(file.bytes, 0xDA);
        const std::size_t sos =
            scans.at(file.drawnFrom < 0 ? scans.size() + file.drawnFrom : file.drawnFrom);
        const std::size_t dataStart = sos + 2 + (file.bytes[sos + 2] << 8 | file.bytes[sos + 3]);
        const std::size_t steps = 97;
        for (std::size_t step = 0; step <= steps; ++step) {
            const std::size_t cut = file.bytes.size() * step / steps;
            const std::span<const std::uint8_t> bytes(file.bytes.data(), cut);
            const JpegPreview preview = DecodeJpegPreview(bytes, kNoLimit);
            const std::string where = std::string(file.name) + " cut at " + std::to_string(cut);
            if (cut < dataStart) {
                EXPECT_EQ(preview.result, Result::NotHandled) << where;
                continue;
            }
            if (cut + 2 < file.bytes.size()) {
                EXPECT_EQ(preview.result, Result::Partial) << where;
            }
            if (!jpegtest::DecodeEighth(bytes).ok) {
                // Cut inside a later scan's header, libjpeg gives up; the
                // preview keeps what the earlier scans decoded.
                EXPECT_EQ(preview.result, Result::Partial) << where;
                continue;
            }
            EXPECT_EQ(DiffersFromCodec(bytes, preview), "") << where;
        }
    }
}

struct Mutation {
    std::string name;
    Bytes bytes;
    bool endsTheFile = false;
};

// Restart markers lost, renumbered or padded around the fifth (RST4) of those
// at `restarts`, in order.
std::vector<Mutation> BreakRestarts(const Bytes& jpeg, const std::vector<std::size_t>& restarts) {
    const std::size_t fifth = restarts.at(4);
    const std::size_t cut =
        (restarts.at(3) + 2 + fifth) / 2;  // the second half of the interval before it
    const auto renumber = [&](int offset) {
        return Patch(jpeg, fifth + 1, static_cast<std::uint8_t>(0xD0 + ((4 + offset) & 7)));
    };
    return {
        {"intact", jpeg},
        {"one restart lost", Erase(jpeg, fifth, 2)},
        {"three restarts lost",
         Erase(Erase(Erase(jpeg, restarts.at(9), 2), restarts.at(8), 2), fifth, 2)},
        {"numbered one ahead", renumber(1)},
        {"numbered two ahead", renumber(2)},
        {"numbered one behind", renumber(-1)},
        {"numbered two behind", renumber(-2)},
        {"numbered four off", renumber(4)},
        {"fill bytes before a restart", Insert(jpeg, fifth, {0xFF, 0xFF, 0xFF})},
        {"garbage before a restart", Insert(jpeg, fifth, {0x12, 0x34, 0x56})},
        {"a reserved marker in place of a restart", Patch(jpeg, fifth + 1, 0x02)},
        {"end of image in place of a restart", Patch(jpeg, fifth + 1, 0xD9), true},
        {"data cut short inside an interval", Erase(jpeg, cut, fifth - cut)},
    };
}

// The restart markers in [from, to), in order.
std::vector<std::size_t> RestartsBetween(const Bytes& jpeg, std::size_t from, std::size_t to) {
    std::vector<std::size_t> restarts;
    for (std::uint8_t code = 0xD0; code <= 0xD7; ++code)
        for (std::size_t at : jpegtest::FindMarkers(jpeg, code))
            if (at >= from && at < to) restarts.push_back(at);
    std::sort(restarts.begin(), restarts.end());
    return restarts;
}

// Restart markers broken: the decoder resynchronises exactly as libjpeg does,
// so the same intervals come out grey.
TEST(JpegPreview, BrokenRestartsResyncLikeTheCodec) {
    const Picture scene = jpegtest::Scene(96, 64, 9);
    const Bytes jpeg = Encode(scene, With(k444, [](Layout& l) { l.restartInterval = 2; }));
    for (const Mutation& c : BreakRestarts(jpeg, RestartsBetween(jpeg, 0, jpeg.size()))) {
        const JpegPreview preview = DecodeJpegPreview(c.bytes, kNoLimit);
        EXPECT_NE(preview.result, Result::NotHandled) << c.name;
        EXPECT_EQ(DiffersFromCodec(c.bytes, preview), "") << c.name;
    }
}

// The same in each scan of a progressive file, those decoded and those
// passed over: where a broken interval ends decides where the next scan
// starts. Only an end of image before the last scan leaves AC bits missing.
TEST(JpegPreview, BrokenRestartsInEachProgressiveScanResyncLikeTheCodec) {
    const Picture scene = jpegtest::Scene(96, 64, 9);
    const Bytes jpeg =
        Encode(scene, Progressive(With(k420, [](Layout& l) { l.restartInterval = 1; })));
    std::vector<std::size_t> scans = jpegtest::FindMarkers(jpeg, 0xDA);
    ASSERT_GT(scans.size(), 5u);
    for (std::size_t s = 0; s < scans.size(); ++s) {
        const std::size_t end = s + 1 < scans.size() ? scans[s + 1] : jpeg.size();
        for (const Mutation& c : BreakRestarts(jpeg, RestartsBetween(jpeg, scans[s], end))) {
            const std::string where = c.name + " in scan " + std::to_string(s);
            const JpegPreview preview = DecodeJpegPreview(c.bytes, kNoLimit);
            if (c.endsTheFile && s + 1 < scans.size()) {
                EXPECT_EQ(preview.result, Result::NotHandled) << where;
                continue;
            }
            EXPECT_NE(preview.result, Result::NotHandled) << where;
            EXPECT_EQ(DiffersFromCodec(c.bytes, preview), "") << where;
        }
    }
}

// Decoded by two threads (from the smallest scan up) and by one: the same
// result and pixels, libjpeg's where it decodes the file too; an intact file
// is split on a machine with two cores.
void ExpectTwoThreadsAsOne(const Bytes& bytes, const std::string& where, bool intact,
                           bool likeLibjpeg = true) {
    const JpegPreview one = DecodeJpegPreview(bytes, kNoLimit, UINT64_MAX);
    const JpegPreview two = DecodeJpegPreview(bytes, kNoLimit, 1);
    EXPECT_EQ(one.threads, 1) << where;
    EXPECT_EQ(two.result, one.result) << where;
    EXPECT_TRUE(two.pixels == one.pixels) << where;
    if (two.result != Result::NotHandled && likeLibjpeg && jpegtest::DecodeEighth(bytes).ok) {
        EXPECT_EQ(DiffersFromCodec(bytes, two), "") << where;
    }
    if (intact && std::thread::hardware_concurrency() >= 2) {
        EXPECT_EQ(two.threads, 2) << where;
    }
}

// Split at a restart marker past the middle of its data, a scan decoded by
// two threads gives libjpeg's picture, and the same result as one thread,
// whatever is broken in either half or wherever the file is cut; a file
// whose markers before the split are not the ones due is decoded by one.
TEST(JpegPreview, TwoThreadsFromARestartMarkerDecodeAsOne) {
    const Picture scene = jpegtest::Scene(160, 128, 3);
    const struct {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"4:4:4, restart every 2 MCUs",
         Encode(scene, With(k444, [](Layout& l) { l.restartInterval = 2; }))},
        {"4:2:0, restart every MCU",
         Encode(scene, With(k420, [](Layout& l) { l.restartInterval = 1; }))},
        {"grey, restart every 7 MCUs",
         Encode(scene, With(kGrey, [](Layout& l) { l.restartInterval = 7; }))},
        {"4:2:0, one scan per component, restart every 3",
         Encode(scene,
                With(k420, [](Layout& l) { l.separateScans = true, l.restartInterval = 3; }))},
    };
    for (const auto& file : files) {
        const std::vector<std::size_t> restarts = RestartsBetween(file.bytes, 0, file.bytes.size());
        ASSERT_GT(restarts.size(), 24u) << file.name;
        std::vector<Mutation> cases = BreakRestarts(file.bytes, restarts);
        // The same around a marker in the second half, which the second
        // thread meets.
        for (Mutation& late : BreakRestarts(file.bytes, {restarts.end() - 12, restarts.end()})) {
            late.name += " (second half)";
            cases.push_back(std::move(late));
        }
        for (std::size_t step = 1; step < 8; ++step)
            cases.push_back(
                {"cut at " + std::to_string(step) + "/8",
                 Bytes(file.bytes.begin(), file.bytes.begin() + file.bytes.size() * step / 8)});
        for (const Mutation& c : cases)
            ExpectTwoThreadsAsOne(c.bytes, std::string(file.name) + ": " + c.name,
                                  c.name == "intact");
    }
}

// Without restart markers, a second thread decodes from a guessed byte in
// the middle of the data and its MCUs are taken once they start where the
// first thread's do: libjpeg's picture and one thread's result, whatever is
// broken or cut, before or after the guess.
TEST(JpegPreview, TwoThreadsFromAGuessDecodeAsOne) {
    const Picture scene = jpegtest::Scene(400, 272, 4);
    const struct {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"4:2:0", Encode(scene, k420)},
        {"4:4:4", Encode(scene, k444)},
        {"4:2:2, optimised tables",
         Encode(scene, With(Sampling({2, 1, 1}, {1, 1, 1}), [](Layout& l) { l.optimize = true; }))},
        {"grey", Encode(scene, kGrey)},
        {"4:2:0, one scan per component",
         Encode(scene, With(k420, [](Layout& l) { l.separateScans = true; }))},
        {"4:1:0 (4 x 4 transforms)", Encode(scene, Sampling({4, 1, 1}, {2, 1, 1}))},
    };
    for (const auto& file : files) {
        const Bytes& jpeg = file.bytes;
        const std::size_t scan = jpegtest::FindMarkers(jpeg, 0xDA).front();
        struct Case {
            std::string name;
            Bytes bytes;
            bool likeLibjpeg = true;
        };
        std::vector<Case> cases = {{"intact", jpeg}};
        for (std::size_t eighth = 1; eighth < 8; ++eighth) {
            const std::size_t at = scan + (jpeg.size() - scan) * eighth / 8;
            const std::string where = " at " + std::to_string(eighth) + "/8";
            cases.push_back({"cut" + where,
                             Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at))});
            cases.push_back({"a byte flipped" + where,
                             Patch(jpeg, at, static_cast<std::uint8_t>(jpeg[at] ^ 0x5A))});
            cases.push_back(
                {"garbage inserted" + where, Insert(jpeg, at, {0x12, 0x34, 0x56, 0x78, 0x9A})});
            cases.push_back({"a reserved marker" + where, Insert(jpeg, at, {0xFF, 0x02})});
            cases.push_back({"end of image" + where, Insert(jpeg, at, {0xFF, 0xD9})});
            // Fill bytes before a stuffed 0xFF: one thread's preview of 4:1:0
            // differs from libjpeg's there already, so only the threads are compared.
            cases.push_back(
                {"stuffed bytes" + where, Insert(jpeg, at, {0xFF, 0x00, 0xFF, 0xFF, 0x00}), false});
        }
        for (const Case& c : cases)
            ExpectTwoThreadsAsOne(c.bytes, std::string(file.name) + ": " + c.name,
                                  c.name == "intact", c.likeLibjpeg);
    }
}

// A photo whose data is nearly all in its upper half (the lower half is
// flat): a thread done early splits what is left of the other's part, and a
// part taken from the flat rows holds far more MCUs than its bytes let one
// expect, so its records run short and the first thread goes on from there.
// With restart markers the threads split each other's lanes of intervals.
// Whichever way the threads meet, one thread's picture, many times over.
TEST(JpegPreview, UnevenPartsDecodeAsOne) {
    Picture scene = jpegtest::Scene(960, 640, 5);
    for (int y = scene.height * 2 / 5; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x)
            for (int c = 0; c < 3; ++c)
                scene.rgb[(std::size_t(y) * scene.width + x) * 3 + c] =
                    static_cast<std::uint8_t>(90 + 40 * c + x / 64);
    const struct {
        const char* name;
        Layout layout;
    } layouts[] = {
        {"4:2:0", k420},
        {"4:4:4", k444},
        {"4:2:0, restart every MCU", With(k420, [](Layout& l) { l.restartInterval = 1; })},
        {"4:4:4, restart every 5 MCUs", With(k444, [](Layout& l) { l.restartInterval = 5; })},
    };
    for (const auto& layout : layouts) {
        const Bytes jpeg = Encode(scene, layout.layout);
        for (int round = 0; round < 12; ++round)
            ExpectTwoThreadsAsOne(jpeg,
                                  std::string(layout.name) + ", round " + std::to_string(round),
                                  true, round == 0);
    }
}

// Chroma DCs no encoder of pixels makes: built up by the largest difference
// there is to the most a 16-bit quantisation step leaves room for, past what
// the small transforms' first column holds in 32 bits. The transforms split
// at the DC give libjpeg's pixels there too, in blocks whose AC coefficients
// they read and those they do not, with one thread or two.
TEST(JpegPreview, HugeChromaDcsWrapAsInTheCodecsTransforms) {
    for (const int side : {2, 4}) {
        jpegtest::CoefficientPhoto photo;
        photo.lumaSide = side;
        photo.mcusWide = 64;
        photo.mcusHigh = 4;
        photo.lumaQuant.fill(1);
        photo.chromaQuant.fill(32767);
        for (int c = 1; c <= 2; ++c) {
            for (int m = 0; m < photo.mcusWide * photo.mcusHigh; ++m) {
                std::array<std::int16_t, 64> block{};
                const int step = m % 32;  // up 16 steps, then down again
                block[0] = static_cast<std::int16_t>((c == 1 ? 1 : -1) * 2047 *
                                                     (step < 16 ? step + 1 : 32 - step));
                if (m % 3 == 1) block[1] = 5;
                if (m % 3 == 2) block[3 * 8 + 5] = -7;
                photo.blocks[c].push_back(block);
            }
        }
        const Bytes bytes = jpegtest::EncodeCoefficients(photo);
        const std::string where = "luma sampled " + std::to_string(side) + " x " +
                                  std::to_string(side) + " times as often";
        ASSERT_FALSE(bytes.empty()) << where;
        const JpegPreview preview = DecodeJpegPreview(bytes, kNoLimit);
        EXPECT_EQ(preview.result, Result::Complete) << where;
        EXPECT_EQ(DiffersFromCodec(bytes, preview), "") << where;
        ExpectTwoThreadsAsOne(bytes, where, true);
    }
}

// The sequential or progressive frame header.
std::size_t FrameAt(const Bytes& jpeg) {
    for (std::uint8_t code : {0xC0, 0xC2})
        if (const auto found = jpegtest::FindMarkers(jpeg, code); !found.empty())
            return found.front();
    return jpeg.size();
}

Bytes WithFrameSize(Bytes jpeg, int width, int height) {
    const std::size_t sof = FrameAt(jpeg);
    jpeg[sof + 5] = static_cast<std::uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<std::uint8_t>(height);
    jpeg[sof + 7] = static_cast<std::uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<std::uint8_t>(width);
    return jpeg;
}

// A comment segment of `size` bytes right after the start of image.
Bytes WithComment(const Bytes& jpeg, std::size_t size) {
    Bytes segment = {0xFF, 0xFE, static_cast<std::uint8_t>((size + 2) >> 8),
                     static_cast<std::uint8_t>(size + 2)};
    segment.resize(segment.size() + size, 'c');
    return Insert(jpeg, 2, segment);
}

TEST(JpegPreview, LeavesToTheFullDecoderWhatItDoesNotHandle) {
    const Picture scene = jpegtest::Scene(64, 48, 2);
    const Bytes plain = Encode(scene, k420);
    const std::size_t sof = FrameAt(plain);
    const std::size_t dht = jpegtest::FindMarkers(plain, 0xC4).front();
    const std::size_t sos = jpegtest::FindMarkers(plain, 0xDA).front();
    const Bytes scans = Encode(scene, With(k444, [](Layout& l) { l.separateScans = true; }));
    const std::size_t secondScan = jpegtest::FindMarkers(scans, 0xDA).at(1);
    const Bytes progressive = Encode(scene, Progressive(k420));
    // Its first scan's range and bits: the DC of all three components.
    const std::size_t range = jpegtest::FindMarkers(progressive, 0xDA).front() + 11;
    // Its frame header again, as a sequential one.
    const std::size_t frame = FrameAt(progressive);
    Bytes sequentialFrame(
        progressive.begin() + static_cast<std::ptrdiff_t>(frame),
        progressive.begin() + static_cast<std::ptrdiff_t>(frame + 2 + progressive[frame + 3]));
    sequentialFrame[1] = 0xC0;
    const struct {
        const char* name;
        Bytes bytes;
        std::uint64_t maxBytes;
    } cases[] = {
        // libjpeg smooths a progressive picture while some of the first AC
        // coefficients are not fully known.
        {"progressive without AC scans",
         Encode(scene, Progressive(k420, {{{0, 1, 2}, 0, 0, 0, 0}})), kNoLimit},
        {"flat grey without AC scans", jpegtest::FlatProgressiveGrey(2000, 1500, false), kNoLimit},
        {"progressive, the chroma's AC never sent",
         Encode(scene, Progressive(k420, {{{0, 1, 2}, 0, 0, 0, 0}, {{0}, 1, 63, 0, 0}})), kNoLimit},
        {"progressive, grey AC one bit short",
         Encode(scene, Progressive(kGrey, {{{0}, 0, 0, 0, 0}, {{0}, 1, 63, 0, 1}})), kNoLimit},
        {"progressive, AC from coefficient 10 on",
         Encode(scene, Progressive(kGrey, {{{0}, 0, 0, 0, 0}, {{0}, 10, 63, 0, 0}})), kNoLimit},
        {"progressive without Huffman tables (libjpeg has no standard ones for it)",
         WithoutHuffmanTables(progressive), kNoLimit},
        {"progressive DC scan with AC", Patch(progressive, range + 1, 5), kNoLimit},
        {"progressive AC scan of three components", Patch(progressive, range, 1), kNoLimit},
        {"progressive refinement of two bits at once", Patch(progressive, range + 2, 0x20),
         kNoLimit},
        {"progressive low bit 14", Patch(progressive, range + 2, 0x0E), kNoLimit},
        {"progressive, arithmetic coding",
         Encode(scene, Progressive(With(k420, [](Layout& l) { l.arithmetic = true; }))), kNoLimit},
        {"progressive CMYK",
         Encode(scene, Progressive(With(k444, [](Layout& l) { l.components = 4; }))), kNoLimit},
        {"progressive, a second frame header after the first scan",
         Insert(progressive, jpegtest::FindMarkers(progressive, 0xDA).at(1), sequentialFrame),
         kNoLimit},
        {"progressive 65535 x 65535 in a small file", WithFrameSize(progressive, 65535, 65535),
         kNoLimit},
        // 1000 bytes hold the sequential file's buffers, not the chroma AC
        // a progressive one keeps until its last scan.
        {"progressive, its kept coefficients over the limit", progressive, 1000},
        {"arithmetic coding", Encode(scene, With(k420, [](Layout& l) { l.arithmetic = true; })),
         kNoLimit},
        {"CMYK", Encode(scene, With(k444, [](Layout& l) { l.components = 4; })), kNoLimit},
        {"12-bit samples", Patch(plain, sof + 4, 12), kNoLimit},
        {"lossless frame", Patch(plain, sof + 1, 0xC3), kNoLimit},
        {"luma 2 x 2, blue chroma 3 x 1 (not whole-number)", Patch(plain, sof + 14, 0x31),
         kNoLimit},
        {"18 blocks in an MCU", Patch(plain, sof + 11, 0x44), kNoLimit},
        {"sampling factor 5", Patch(plain, sof + 11, 0x52), kNoLimit},
        {"quantisation table 4", Patch(plain, sof + 12, 4), kNoLimit},
        {"over-full Huffman table", Patch(plain, dht + 5, 2), kNoLimit},
        {"scan names an undefined table", Patch(plain, sos + 6, 0x33), kNoLimit},
        {"scan names an unknown component", Patch(plain, sos + 5, 9), kNoLimit},
        {"no scan", Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(sos)),
         kNoLimit},
        // libjpeg adds a later scan's coefficients to the earlier ones'.
        {"a component coded in two scans", Patch(scans, secondScan + 5, 1), kNoLimit},
        {"second start of image", Insert(plain, sof, {0xFF, 0xD8}), kNoLimit},
        {"width 0", WithFrameSize(plain, 0, 48), kNoLimit},
        {"height 0 (given later)", WithFrameSize(plain, 64, 0), kNoLimit},
        {"65535 x 65535 in a small file", WithFrameSize(plain, 65535, 65535), kNoLimit},
        {"more than the buffers may take", plain, 100},
        {"not a JPEG", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}, kNoLimit},
        {"empty", Bytes{}, kNoLimit},
        {"start of image only", Bytes{0xFF, 0xD8, 0xFF, 0xD9}, kNoLimit},
        {"segment longer than the file", Patch(plain, dht + 2, 0xFF), kNoLimit},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.bytes.empty() && std::string(c.name) != "empty") << c.name;
        const JpegPreview preview = DecodeJpegPreview(c.bytes, c.maxBytes);
        EXPECT_EQ(preview.result, Result::NotHandled) << c.name;
        EXPECT_TRUE(preview.pixels.empty()) << c.name;
    }
}

// A header may promise far more blocks than the data holds: the decode stops
// where the data ends and leaves the rest mid-grey, as libjpeg does.
TEST(JpegPreview, WorkStopsWhereTheDataEnds) {
    const Bytes small = Encode(jpegtest::Scene(64, 48, 4), k444);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"2000 x 1500 promised, padded with a comment",
         WithComment(WithFrameSize(small, 2000, 1500), 60000)},
        {"6000 x 4000 grey promised",
         WithComment(WithFrameSize(Encode(jpegtest::Scene(64, 48, 4),
                                          With(k444, [](Layout& l) { l.components = 1; })),
                                   6000, 4000),
                     65000)},
    };
    for (const auto& c : cases) {
        const JpegPreview preview = DecodeJpegPreview(c.bytes, kNoLimit);
        EXPECT_EQ(preview.result, Result::Partial) << c.name;
        ASSERT_FALSE(preview.pixels.empty()) << c.name;
        EXPECT_EQ(preview.pixels.back(), 0xFF808080u) << c.name;
        EXPECT_EQ(DiffersFromCodec(c.bytes, preview), "") << c.name;
    }
}

}  // namespace
