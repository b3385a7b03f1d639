#include "shadow/shadow_strips.h"

#include <gtest/gtest.h>

namespace {

using viewer::StripSide;

const char* nameOf(StripSide side) {
    constexpr const char* kNames[] = {"right", "bottom", "left", "top"};
    return kNames[static_cast<int>(side)];
}

TEST(StripRect, FrameAroundTheWindow) {
    struct Case {
        QRect window;
        int depth;
        StripSide side;
        QRect expected;
    };
    const Case cases[] = {
        {{100, 100, 737, 528}, 7, StripSide::Right, {837, 93, 7, 542}},
        {{100, 100, 737, 528}, 7, StripSide::Bottom, {93, 628, 744, 7}},
        {{100, 100, 737, 528}, 7, StripSide::Left, {93, 100, 7, 528}},
        {{100, 100, 737, 528}, 7, StripSide::Top, {93, 93, 744, 7}},
        {{-20, 5, 40, 30}, 1, StripSide::Right, {20, 4, 1, 32}},
        {{-20, 5, 40, 30}, 1, StripSide::Bottom, {-21, 35, 41, 1}},
        {{-20, 5, 40, 30}, 1, StripSide::Left, {-21, 5, 1, 30}},
        {{-20, 5, 40, 30}, 1, StripSide::Top, {-21, 4, 41, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(viewer::stripRect(c.side, c.window, c.depth), c.expected)
            << nameOf(c.side) << " strip, depth " << c.depth;
    }
}

TEST(StripAlpha, Ramps) {
    // The window is 737 x 528, so the right strip is 7 x 542, the left 7 x 528,
    // the bottom and top 744 x 7. Rows and columns count from the top left of
    // the strip as shown.
    struct Case {
        const char* name;
        StripSide side;
        int width, height, depth, x, y;
        int expected;
    };
    const Case cases[] = {
        {"right: next to the window, middle row", StripSide::Right, 7, 542, 7, 0, 271, 255},
        {"right: second column, middle row", StripSide::Right, 7, 542, 7, 1, 271, 218},
        {"right: outermost column, middle row", StripSide::Right, 7, 542, 7, 6, 271, 36},
        {"right: bottom row next to the window", StripSide::Right, 7, 542, 7, 0, 541, 0},
        {"right: bottom row outermost", StripSide::Right, 7, 542, 7, 6, 541, 0},
        {"right: fourth row from the bottom", StripSide::Right, 7, 542, 7, 0, 538, 109},
        {"right: fourth row from the bottom, third column", StripSide::Right, 7, 542, 7, 2, 538,
         77},
        {"right: top row next to the window", StripSide::Right, 7, 542, 7, 0, 0, 36},
        {"right: top row, fourth column", StripSide::Right, 7, 542, 7, 3, 0, 20},
        {"right: top row outermost", StripSide::Right, 7, 542, 7, 6, 0, 5},
        {"right: seventh row from the top", StripSide::Right, 7, 542, 7, 0, 6, 255},
        {"right: seventh row from the bottom", StripSide::Right, 7, 542, 7, 0, 535, 218},
        {"right: eighth row from the bottom", StripSide::Right, 7, 542, 7, 0, 534, 255},
        {"left: next to the window", StripSide::Left, 7, 528, 7, 6, 10, 218},
        {"left: k = 1", StripSide::Left, 7, 528, 7, 5, 10, 182},
        {"left: k = 2", StripSide::Left, 7, 528, 7, 4, 10, 145},
        {"left: k = 3", StripSide::Left, 7, 528, 7, 3, 10, 109},
        {"left: k = 4", StripSide::Left, 7, 528, 7, 2, 10, 72},
        {"left: k = 5", StripSide::Left, 7, 528, 7, 1, 10, 36},
        {"left: outermost", StripSide::Left, 7, 528, 7, 0, 10, 0},
        {"left: no ramp at the top end", StripSide::Left, 7, 528, 7, 6, 0, 218},
        {"bottom: top row past the fade", StripSide::Bottom, 744, 7, 7, 400, 0, 218},
        {"bottom: top row, left end", StripSide::Bottom, 744, 7, 7, 0, 0, 0},
        {"bottom: top row, fourth column", StripSide::Bottom, 744, 7, 7, 3, 0, 93},
        {"bottom: top row, right end", StripSide::Bottom, 744, 7, 7, 743, 0, 218},
        {"bottom: outermost row", StripSide::Bottom, 744, 7, 7, 400, 6, 0},
        {"bottom: middle row", StripSide::Bottom, 744, 7, 7, 400, 3, 109},
        {"top: bottom row past the fade", StripSide::Top, 744, 7, 7, 400, 6, 255},
        {"top: bottom row, fourth column", StripSide::Top, 744, 7, 7, 3, 6, 109},
        {"top: outermost row", StripSide::Top, 744, 7, 7, 400, 0, 36},
        {"top: left end", StripSide::Top, 744, 7, 7, 0, 6, 0},
        {"depth one, right strip", StripSide::Right, 1, 12, 1, 0, 5, 255},
        {"depth one, left strip", StripSide::Left, 1, 10, 1, 0, 5, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(viewer::stripAlpha(c.side, c.width, c.height, c.depth, c.x, c.y), c.expected)
            << c.name;
    }
}

TEST(StripAlpha, DepthBelowOneDrawsNothing) {
    for (int depth : {0, -1, -7}) {
        EXPECT_EQ(viewer::stripAlpha(StripSide::Right, 7, 20, depth, 0, 10), 0)
            << "depth " << depth;
        EXPECT_EQ(viewer::stripAlpha(StripSide::Top, 20, 7, depth, 10, 6), 0) << "depth " << depth;
    }
}

TEST(StripPixels, PremultipliedBlueGreenRedAlphaInMemory) {
    const QImage image = viewer::stripPixels(StripSide::Left, QSize(7, 3), 7, QColor(200, 100, 10));
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

TEST(StripPixels, EveryPixelFollowsTheAlphaFormula) {
    for (StripSide side : viewer::kStripSides) {
        const QRect placement = viewer::stripRect(side, QRect(100, 100, 60, 40), 5);
        const QImage image = viewer::stripPixels(side, placement.size(), 5, Qt::white);
        ASSERT_EQ(image.size(), placement.size()) << nameOf(side);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = viewer::stripAlpha(side, image.width(), image.height(), 5, x, y);
                ASSERT_EQ(image.pixel(x, y), qRgba(alpha, alpha, alpha, alpha))
                    << nameOf(side) << " at " << x << "," << y;
            }
        }
    }
}

TEST(StripPixels, EmptyStripGivesEmptyImage) {
    EXPECT_TRUE(viewer::stripPixels(StripSide::Left, QSize(7, 0), 7, Qt::black).isNull());
}

}  // namespace
