#include "shadow/shadow_strips.h"

#include <gtest/gtest.h>

namespace {

using shadow::Strip;

const char* NameOf(Strip strip) {
    constexpr const char* kNames[] = {"right", "bottom", "left", "top"};
    return kNames[static_cast<int>(strip)];
}

TEST(StripRect, FrameAroundTheForm) {
    struct Case {
        QRect form;
        int depth;
        Strip strip;
        QRect expected;
    };
    const Case cases[] = {
        {{100, 100, 737, 528}, 7, Strip::Right, {837, 93, 7, 542}},
        {{100, 100, 737, 528}, 7, Strip::Bottom, {93, 628, 744, 7}},
        {{100, 100, 737, 528}, 7, Strip::Left, {93, 100, 7, 528}},
        {{100, 100, 737, 528}, 7, Strip::Top, {93, 93, 744, 7}},
        {{-20, 5, 40, 30}, 1, Strip::Right, {20, 4, 1, 32}},
        {{-20, 5, 40, 30}, 1, Strip::Bottom, {-21, 35, 41, 1}},
        {{-20, 5, 40, 30}, 1, Strip::Left, {-21, 5, 1, 30}},
        {{-20, 5, 40, 30}, 1, Strip::Top, {-21, 4, 41, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shadow::StripRect(c.strip, c.form, c.depth), c.expected)
            << NameOf(c.strip) << " strip, depth " << c.depth;
    }
}

TEST(StripAlpha, Ramps) {
    // The form is 737 x 528, so the right strip is 7 x 542, the left 7 x 528,
    // the bottom and top 744 x 7. Rows and columns count from the top left of
    // the strip as shown.
    struct Case {
        const char* name;
        Strip strip;
        int width, height, depth, x, y;
        int expected;
    };
    const Case cases[] = {
        {"right: next to the form, middle row", Strip::Right, 7, 542, 7, 0, 271, 255},
        {"right: second column, middle row", Strip::Right, 7, 542, 7, 1, 271, 218},
        {"right: outermost column, middle row", Strip::Right, 7, 542, 7, 6, 271, 36},
        {"right: bottom row next to the form", Strip::Right, 7, 542, 7, 0, 541, 0},
        {"right: bottom row outermost", Strip::Right, 7, 542, 7, 6, 541, 0},
        {"right: fourth row from the bottom", Strip::Right, 7, 542, 7, 0, 538, 109},
        {"right: fourth row from the bottom, third column", Strip::Right, 7, 542, 7, 2, 538, 77},
        {"right: top row next to the form", Strip::Right, 7, 542, 7, 0, 0, 36},
        {"right: top row, fourth column", Strip::Right, 7, 542, 7, 3, 0, 20},
        {"right: top row outermost", Strip::Right, 7, 542, 7, 6, 0, 5},
        {"right: seventh row from the top", Strip::Right, 7, 542, 7, 0, 6, 255},
        {"right: seventh row from the bottom", Strip::Right, 7, 542, 7, 0, 535, 218},
        {"right: eighth row from the bottom", Strip::Right, 7, 542, 7, 0, 534, 255},
        {"left: next to the form", Strip::Left, 7, 528, 7, 6, 10, 218},
        {"left: k = 1", Strip::Left, 7, 528, 7, 5, 10, 182},
        {"left: k = 2", Strip::Left, 7, 528, 7, 4, 10, 145},
        {"left: k = 3", Strip::Left, 7, 528, 7, 3, 10, 109},
        {"left: k = 4", Strip::Left, 7, 528, 7, 2, 10, 72},
        {"left: k = 5", Strip::Left, 7, 528, 7, 1, 10, 36},
        {"left: outermost", Strip::Left, 7, 528, 7, 0, 10, 0},
        {"left: no ramp at the top end", Strip::Left, 7, 528, 7, 6, 0, 218},
        {"bottom: top row past the fade", Strip::Bottom, 744, 7, 7, 400, 0, 218},
        {"bottom: top row, left end", Strip::Bottom, 744, 7, 7, 0, 0, 0},
        {"bottom: top row, fourth column", Strip::Bottom, 744, 7, 7, 3, 0, 93},
        {"bottom: top row, right end", Strip::Bottom, 744, 7, 7, 743, 0, 218},
        {"bottom: outermost row", Strip::Bottom, 744, 7, 7, 400, 6, 0},
        {"bottom: middle row", Strip::Bottom, 744, 7, 7, 400, 3, 109},
        {"top: bottom row past the fade", Strip::Top, 744, 7, 7, 400, 6, 255},
        {"top: bottom row, fourth column", Strip::Top, 744, 7, 7, 3, 6, 109},
        {"top: outermost row", Strip::Top, 744, 7, 7, 400, 0, 36},
        {"top: left end", Strip::Top, 744, 7, 7, 0, 6, 0},
        {"depth one, right strip", Strip::Right, 1, 12, 1, 0, 5, 255},
        {"depth one, left strip", Strip::Left, 1, 10, 1, 0, 5, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shadow::StripAlpha(c.strip, c.width, c.height, c.depth, c.x, c.y), c.expected)
            << c.name;
    }
}

TEST(StripAlpha, DepthBelowOneDrawsNothing) {
    for (int depth : {0, -1, -7}) {
        EXPECT_EQ(shadow::StripAlpha(Strip::Right, 7, 20, depth, 0, 10), 0) << "depth " << depth;
        EXPECT_EQ(shadow::StripAlpha(Strip::Top, 20, 7, depth, 10, 6), 0) << "depth " << depth;
    }
}

TEST(RenderStripPixels, PremultipliedBlueGreenRedAlphaInMemory) {
    // 0x00BBGGRR: red 200, green 100, blue 10.
    const std::uint32_t rgb = 0x000A64C8;
    const QImage image = shadow::RenderStripPixels(Strip::Left, QSize(7, 3), 7, rgb);
    ASSERT_EQ(image.size(), QSize(7, 3));
    struct Case {
        int x;
        std::uint8_t blue, green, red, alpha;
    };
    const Case cases[] = {
        // 10 * 218 / 255 = 8.55, 100 * 218 / 255 = 85.49, 200 * 218 / 255 = 170.98
        {6, 9, 85, 171, 218},
        // 10 * 36 / 255 = 1.41, 100 * 36 / 255 = 14.12, 200 * 36 / 255 = 28.24
        {1, 1, 14, 28, 36},
        {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const uchar* pixel = image.constScanLine(1) + 4 * c.x;
        EXPECT_EQ(pixel[0], c.blue) << "column " << c.x;
        EXPECT_EQ(pixel[1], c.green) << "column " << c.x;
        EXPECT_EQ(pixel[2], c.red) << "column " << c.x;
        EXPECT_EQ(pixel[3], c.alpha) << "column " << c.x;
    }
}

TEST(RenderStripPixels, EveryPixelFollowsTheAlphaFormula) {
    for (Strip strip : shadow::kAllStrips) {
        const QRect placement = shadow::StripRect(strip, QRect(100, 100, 60, 40), 5);
        const QImage image = shadow::RenderStripPixels(strip, placement.size(), 5, 0x00FFFFFF);
        ASSERT_EQ(image.size(), placement.size()) << NameOf(strip);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int alpha =
                    shadow::StripAlpha(strip, image.width(), image.height(), 5, x, y);
                ASSERT_EQ(image.pixel(x, y), qRgba(alpha, alpha, alpha, alpha))
                    << NameOf(strip) << " at " << x << "," << y;
            }
        }
    }
}

TEST(RenderStripPixels, EmptyStripGivesEmptyImage) {
    EXPECT_TRUE(shadow::RenderStripPixels(Strip::Left, QSize(7, 0), 7, 0).isNull());
}

}  // namespace
