// The layout's arithmetic and the design's colours.
#include "platform/colours.h"
#include "platform/layout.h"

#include <QApplication>
#include <QPalette>
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace {

using platform::fitToBox;
using platform::hlsToRgb;
using platform::rgbToHls;
using platform::splitRgb;

constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();

TEST(FitToBox, FitsAndRoundsHalvesToEven) {
    struct Case {
        const char* name;
        std::int32_t maxWidth, maxHeight, width, height;
        std::int32_t expectWidth, expectHeight;
    };
    const Case cases[] = {
        {"landscape limited by width", 200, 300, 4000, 3000, 200, 150},
        {"tall picture fills the height", 200, 300, 100, 400, 75, 300},
        {"height 0 leaves both", 200, 300, 640, 0, 640, 0},
        {"negative height leaves both", 200, 300, 640, -5, 640, -5},
        {"width 0 gives full height", 200, 300, 0, 400, 0, 300},
        {"panel 4000x3000", 200, 418, 4000, 3000, 200, 150},
        {"panel 3000x4000", 200, 418, 3000, 4000, 200, 267},
        {"panel 1000x4000: 104.5 goes to 104", 200, 418, 1000, 4000, 104, 418},
        {"panel 50x40 is enlarged", 200, 418, 50, 40, 200, 160},
        {"2.5 goes to 2", 1000, 1, 5, 2, 2, 1},
        {"3.5 goes to 4", 1000, 1, 7, 2, 4, 1},
        {"huge width saturates, then limited", 200, kIntMax, kIntMax, 1, 200, 0},
        {"hair-thin picture", 200, 418, 1, kIntMax, 0, 418},
    };
    for (const Case& c : cases) {
        std::int32_t width = c.width, height = c.height;
        fitToBox(c.maxWidth, c.maxHeight, width, height);
        EXPECT_EQ(width, c.expectWidth) << c.name;
        EXPECT_EQ(height, c.expectHeight) << c.name;
    }
}

TEST(SplitRGB, GivesRedGreenBlue) {
    struct Case {
        const char* name;
        std::uint32_t colour;
        std::array<std::uint8_t, 3> expect;
    };
    const Case cases[] = {
        {"window colour", 0x00007571u, {0x71, 0x75, 0x00}},
        {"distinct bytes", 0x00123456u, {0x56, 0x34, 0x12}},
        {"white", 0x00FFFFFFu, {0xFF, 0xFF, 0xFF}},
        {"black", 0, {0, 0, 0}},
        // A system colour is split with signed arithmetic (mod keeps the
        // sign, div truncates), not resolved: -2147483633 gives 15, 1, 1.
        {"system button face", 0x8000000Fu, {0x0F, 0x01, 0x01}},
    };
    for (const Case& c : cases) EXPECT_EQ(splitRgb(c.colour), c.expect) << c.name;
}

TEST(RGBToHLS, MatchesThePlatformScale) {
    struct Case {
        const char* name;
        std::uint8_t r, g, b;
        std::int32_t hue, saturation, luminance;
    };
    const Case cases[] = {
        {"window colour", 0x71, 0x75, 0x00, 41, 240, 55},
        {"black: hue undefined is 160", 0, 0, 0, 160, 0, 0},
        {"white", 255, 255, 255, 160, 0, 240},
        {"silver", 192, 192, 192, 160, 0, 181},
        {"red", 255, 0, 0, 0, 240, 120},
        {"green", 0, 255, 0, 80, 240, 120},
        {"blue", 0, 0, 255, 160, 240, 120},
        {"light orange (luminance above half)", 255, 200, 150, 19, 240, 191},
    };
    for (const Case& c : cases) {
        const platform::HlsColour hls = rgbToHls(c.r, c.g, c.b);
        EXPECT_EQ(hls.hue, c.hue) << c.name;
        EXPECT_EQ(hls.saturation, c.saturation) << c.name;
        EXPECT_EQ(hls.luminance, c.luminance) << c.name;
    }
}

TEST(HLSToRGB, ReproducesTheDerivedScrollColoursAndClamps) {
    struct Case {
        const char* name;
        std::int32_t hue, saturation, luminance;
        std::uint32_t expect;
    };
    const Case cases[] = {
        {"thumb: L + 10", 41, 240, 65, 0x00008A87u},
        {"track outline: L - 10", 41, 240, 45, 0x0000605Eu},
        {"thumb outline: L + 20", 41, 240, 75, 0x00009F9Bu},
        {"thumb inner outline: L + 40, S - 20", 41, 220, 95, 0x0009C1BDu},
        {"grey", 160, 0, 120, 0x007F7F7Fu},
        {"luminance 280 clamps to white", 41, 240, 280, 0x00FFFFFFu},
        {"saturation -20 clamps to grey", 41, -20, 100, 0x006A6A6Au},
        {"hue 300 clamps to 240, which is red", 300, 240, 120, 0x000000FFu},
        {"negative luminance clamps to black", 41, 240, -7, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hlsToRgb(c.hue, c.saturation, c.luminance), c.expect) << c.name;
}

TEST(HLSToRGB, RoundTripStaysClose) {
    // The 0..240 scale loses precision, but a colour converted there and back
    // stays within a few steps of itself on every channel.
    int worst = 0;
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15) {
                const auto hls = rgbToHls(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                          static_cast<std::uint8_t>(b));
                const std::uint32_t back = hlsToRgb(hls.hue, hls.saturation, hls.luminance);
                const auto split = splitRgb(back);
                const int error = std::max({std::abs(split[0] - r), std::abs(split[1] - g),
                                            std::abs(split[2] - b)});
                worst = std::max(worst, error);
                EXPECT_LE(error, 6) << "rgb " << r << "," << g << "," << b;
            }
        }
    }
    EXPECT_GT(worst, 0);  // the scale really is coarser than 0..255
}

// Red in the low byte; a system colour is the desktop palette's, whatever
// palette the application has.
TEST(Colours, StoredColoursResolveThroughThePalette) {
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Active, QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Shadow, QColor(40, 50, 60));
    QApplication::setPalette(palette);
    const struct {
        const char* name;
        std::uint32_t colour;
        QColor expect;
    } cases[] = {
        {"the main window's colour", 0x00007571u, QColor(0x71, 0x75, 0x00)},
        {"the top byte of a plain colour is dropped", 0x7F123456u, QColor(0x56, 0x34, 0x12)},
        {"system window colour: the palette's base", 0x80000005u, QColor(1, 2, 3)},
        {"system window frame: the palette's shadow", 0x80000006u, QColor(40, 50, 60)},
        {"an index the system does not have is black", 0x800000F0u, QColor(0, 0, 0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::toQColor(c.colour), c.expect) << c.name;
        EXPECT_EQ(platform::fromQColor(c.expect), platform::resolveColour(c.colour)) << c.name;
    }
    QApplication::setPalette(saved);
}

}  // namespace
