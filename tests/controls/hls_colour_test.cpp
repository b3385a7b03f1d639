#include "controls/hls_colour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

using viewer::fromHls;
using viewer::toHls;

TEST(ToHls, MatchesTheScaleOf240) {
    struct Case {
        const char* name;
        QColor colour;
        int hue, luminance, saturation;
    };
    const Case cases[] = {
        {"window colour", {0x71, 0x75, 0x00}, 41, 55, 240},
        {"black: no hue reads as 160", {0, 0, 0}, 160, 0, 0},
        {"white", {255, 255, 255}, 160, 240, 0},
        {"silver", {192, 192, 192}, 160, 181, 0},
        {"red", {255, 0, 0}, 0, 120, 240},
        {"green", {0, 255, 0}, 80, 120, 240},
        {"blue", {0, 0, 255}, 160, 120, 240},
        {"light orange (luminance above half)", {255, 200, 150}, 19, 191, 240},
    };
    for (const Case& c : cases) {
        const viewer::HlsColour hls = toHls(c.colour);
        EXPECT_EQ(hls.hue, c.hue) << c.name;
        EXPECT_EQ(hls.luminance, c.luminance) << c.name;
        EXPECT_EQ(hls.saturation, c.saturation) << c.name;
    }
}

TEST(FromHls, GivesTheScrollBarsDerivedColoursAndClamps) {
    struct Case {
        const char* name;
        int hue, luminance, saturation;
        QColor expect;
    };
    const Case cases[] = {
        {"thumb: L + 10", 41, 65, 240, {0x87, 0x8A, 0x00}},
        {"track outline: L - 10", 41, 45, 240, {0x5E, 0x60, 0x00}},
        {"thumb outline: L + 20", 41, 75, 240, {0x9B, 0x9F, 0x00}},
        {"thumb inner outline: L + 40, S - 20", 41, 95, 220, {0xBD, 0xC1, 0x09}},
        {"grey", 160, 120, 0, {0x7F, 0x7F, 0x7F}},
        {"luminance 280 clamps to white", 41, 280, 240, {255, 255, 255}},
        {"saturation -20 clamps to grey", 41, 100, -20, {0x6A, 0x6A, 0x6A}},
        {"hue 300 clamps to 240, which is red", 300, 120, 240, {255, 0, 0}},
        {"negative luminance clamps to black", 41, -7, 240, {0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fromHls(c.hue, c.luminance, c.saturation), c.expect) << c.name;
}

TEST(FromHls, RoundTripStaysClose) {
    // The scale of 240 is coarser than 256 steps, but a colour converted there
    // and back stays within a few steps of itself on every channel.
    int worst = 0;
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15) {
                const viewer::HlsColour hls = toHls(QColor(r, g, b));
                const QColor back = fromHls(hls.hue, hls.luminance, hls.saturation);
                const int error = std::max({std::abs(back.red() - r), std::abs(back.green() - g),
                                            std::abs(back.blue() - b)});
                worst = std::max(worst, error);
                EXPECT_LE(error, 6) << "rgb " << r << "," << g << "," << b;
            }
        }
    }
    EXPECT_GT(worst, 0);
}

}  // namespace
