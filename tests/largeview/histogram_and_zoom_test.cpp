// The large view's two pieces of plain arithmetic: the histogram of a
// picture (levels, luminance, transparency, clipping) and where the zoom
// puts the photo (fit, 100 %, zoom about a point, moving within bounds).
#include "largeview/histogram.h"
#include "largeview/photo_zoom.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace viewer {
namespace {

QImage Filled(int width, int height, QImage::Format format,
              const std::function<QRgb(int x, int y)>& colour) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, colour(x, y));
    return image;
}

QImage Grey(int width, int height, const std::function<int(int x, int y)>& level) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.scanLine(y)[x] = static_cast<uchar>(level(x, y));
    return image;
}

// What a case expects: counts at chosen levels, the clipped ends per channel.
struct Level {
    Histogram::Channel channel;
    int level;
    std::uint32_t count;
};

TEST(Histogram, LevelsLuminanceAndClipping) {
    const struct {
        const char* name;
        QImage picture;
        std::uint64_t pixels;
        std::vector<Level> levels;
        std::string shadows, highlights;  // the clipped channels, "rgb" order
    } cases[] = {
        {"white",
         Filled(10, 10, QImage::Format_RGB32, [](int, int) { return qRgb(255, 255, 255); }),
         100,
         {{Histogram::Red, 255, 100}, {Histogram::Luminance, 255, 100}},
         "",
         "rgb"},
        {"black",
         Filled(10, 10, QImage::Format_RGB32, [](int, int) { return qRgb(0, 0, 0); }),
         100,
         {{Histogram::Blue, 0, 100}, {Histogram::Luminance, 0, 100}},
         "rgb",
         ""},
        {"pure red: luminance 76",
         Filled(4, 5, QImage::Format_RGB32, [](int, int) { return qRgb(255, 0, 0); }),
         20,
         {{Histogram::Red, 255, 20}, {Histogram::Green, 0, 20}, {Histogram::Luminance, 77, 20}},
         "gb",
         "r"},
        {"pure green: luminance 149",
         Filled(4, 5, QImage::Format_RGB32, [](int, int) { return qRgb(0, 255, 0); }),
         20,
         {{Histogram::Luminance, 149, 20}},
         "rb",
         "g"},
        {"pure blue: luminance 29",
         Filled(4, 5, QImage::Format_RGB32, [](int, int) { return qRgb(0, 0, 255); }),
         20,
         {{Histogram::Luminance, 29, 20}},
         "rg",
         "b"},
        {"mid grey, no end reached",
         Filled(8, 8, QImage::Format_RGB32, [](int, int) { return qRgb(128, 128, 128); }),
         64,
         {{Histogram::Red, 128, 64}, {Histogram::Luminance, 128, 64}},
         "",
         ""},
        {"a grey ramp: one column in 256 at each end is clipped",
         Grey(256, 4, [](int x, int) { return x; }),
         1024,
         {{Histogram::Red, 0, 4}, {Histogram::Green, 100, 4}, {Histogram::Luminance, 255, 4}},
         "rgb",
         "rgb"},
        {"two white pixels in 2000 are clipped",
         Filled(
             100, 20, QImage::Format_RGB32,
             [](int x, int y) { return y == 0 && x < 2 ? qRgb(255, 255, 255) : qRgb(90, 90, 90); }),
         2000,
         {{Histogram::Red, 255, 2}},
         "",
         "rgb"},
        {"one white pixel in 2000 is a speck",
         Filled(100, 20, QImage::Format_RGB32,
                [](int x, int y) { return x + y == 0 ? qRgb(255, 255, 255) : qRgb(90, 90, 90); }),
         2000,
         {{Histogram::Red, 255, 1}},
         "",
         ""},
        {"transparent pixels are not counted, half-transparent ones at their colour",
         Filled(2, 2, QImage::Format_ARGB32_Premultiplied,
                [](int x, int y) {
                    return x == 0   ? qRgba(0, 0, 0, 0)
                           : y == 0 ? qPremultiply(qRgba(200, 100, 50, 51))
                                    : qRgba(10, 20, 30, 255);
                }),
         2,
         {{Histogram::Red, 200, 1},
          {Histogram::Green, 100, 1},
          {Histogram::Blue, 50, 1},
          {Histogram::Red, 10, 1}},
         "",
         ""},
        {"another layout is read as its colours",
         Filled(3, 3, QImage::Format_RGB888, [](int, int) { return qRgb(1, 2, 3); }),
         9,
         {{Histogram::Red, 1, 9},
          {Histogram::Green, 2, 9},
          {Histogram::Blue, 3, 9},
          {Histogram::Luminance, 2, 9}},
         "",
         ""},
        {"no picture", QImage(), 0, {}, "", ""},
    };
    const char* const names = "rgb";
    for (const auto& c : cases) {
        const Histogram histogram = histogramOf(c.picture);
        EXPECT_EQ(histogram.pixels, c.pixels) << c.name;
        for (const Level& level : c.levels)
            EXPECT_EQ(histogram.counts[level.channel][level.level], level.count)
                << c.name << ": channel " << level.channel << " level " << level.level;
        for (int channel = 0; channel < 4; ++channel) {
            std::uint64_t total = 0;
            for (const std::uint32_t count : histogram.counts[channel]) total += count;
            EXPECT_EQ(total, c.pixels)
                << c.name << ": every pixel counted once in channel " << channel;
        }
        std::string shadows, highlights;
        for (int channel = Histogram::Red; channel <= Histogram::Blue; ++channel) {
            if (histogram.shadowsClipped(static_cast<Histogram::Channel>(channel)))
                shadows += names[channel];
            if (histogram.highlightsClipped(static_cast<Histogram::Channel>(channel)))
                highlights += names[channel];
        }
        EXPECT_EQ(shadows, c.shadows) << c.name;
        EXPECT_EQ(highlights, c.highlights) << c.name;
    }
}

// The curves are scaled to the highest level between the ends: a clipped
// end would flatten them to nothing.
TEST(Histogram, PeakLeavesTheClippedEndsOut) {
    const struct {
        const char* name;
        QImage picture;
        std::uint32_t peak;
    } cases[] = {
        {"mostly white sky over a few mid tones",
         Filled(10, 10, QImage::Format_RGB32,
                [](int x, int y) {
                    return y < 9 ? qRgb(255, 255, 255) : qRgb(100 + x, 100 + x, 100 + x);
                }),
         1},
        {"all white: the end is all there is",
         Filled(10, 10, QImage::Format_RGB32, [](int, int) { return qRgb(255, 255, 255); }), 100},
        {"two mid tones", Grey(10, 10, [](int x, int) { return x < 3 ? 40 : 200; }), 70},
    };
    for (const auto& c : cases) EXPECT_EQ(histogramOf(c.picture).peak(), c.peak) << c.name;
}

PhotoZoom Zoom(QSizeF view, QSize photo, double ratio = 1) {
    PhotoZoom zoom;
    zoom.setView(view, ratio);
    zoom.setPhoto(photo);
    return zoom;
}

TEST(PhotoZoom, FitCentresThePhotoAtTheLargestScale) {
    const struct {
        const char* name;
        QSizeF view;
        QSize photo;
        double ratio;
        QRectF expected;
    } cases[] = {
        {"landscape on a wide screen", {1920, 1080}, {4032, 3024}, 1, {240, 0, 1440, 1080}},
        {"portrait", {1920, 1080}, {3000, 4000}, 1, {555, 0, 810, 1080}},
        {"panorama", {1920, 1080}, {8000, 1000}, 1, {0, 420, 1920, 240}},
        {"a small photo is enlarged", {1920, 1080}, {640, 480}, 1, {240, 0, 1440, 1080}},
        {"the device pixel ratio does not change the fit",
         {960, 540},
         {4032, 3024},
         2,
         {120, 0, 720, 540}},
    };
    for (const auto& c : cases) {
        const PhotoZoom zoom = Zoom(c.view, c.photo, c.ratio);
        EXPECT_EQ(zoom.photoRect(), c.expected) << c.name;
        EXPECT_TRUE(zoom.fitted()) << c.name;
    }
}

// Zoomed about a point, the photo point under it stays under it, unless
// that would open a gap at an edge; a photo narrower than the view stays
// centred on that axis.
TEST(PhotoZoom, ZoomAboutAPointWithinBounds) {
    const QSizeF view(1920, 1080);
    const QSize photo(4032, 3024);  // fitted at 1440 x 1080 from x 240
    const struct {
        const char* name;
        double scale;
        QPointF anchor;
        QPointF photoPointStays;  // the photo point expected under the anchor afterwards; (-1, -1):
                                  // not kept
        QRectF expected;
    } cases[] = {
        {"100 % about the centre",
         1,
         {960, 540},
         {2016, 1512},
         {960 - 2016, 540 - 1512, 4032, 3024}},
        {"100 % about a point in the photo",
         1,
         {600, 300},
         {(600 - 240) * 2.8, 300 * 2.8},
         {600 - (600 - 240) * 2.8, 300 - 300 * 2.8, 4032, 3024}},
        {"100 % about the top left corner: no gap opens",
         1,
         {240, 0},
         {-1, -1},
         {0, 0, 4032, 3024}},
        {"100 % about the far corner",
         1,
         {1680, 1080},
         {-1, -1},
         {1920 - 4032, 1080 - 3024, 4032, 3024}},
        {"a little larger, still narrower than the view: centred across",
         1080.0 / 3024 * 1.2,
         {960, 100},
         {-1, -1},
         {(1920 - 1728) / 2.0, 100 - 100 * 1.2, 1728, 1296}},
        {"below the fit is the fit", 0.01, {100, 100}, {-1, -1}, {240, 0, 1440, 1080}},
        {"beyond 16 device pixels a photo pixel is 16",
         100,
         {960, 540},
         {2016, 1512},
         {960 - 2016 * 16.0, 540 - 1512 * 16.0, 4032 * 16.0, 3024 * 16.0}},
    };
    for (const auto& c : cases) {
        PhotoZoom zoom = Zoom(view, photo);
        zoom.zoomTo(c.scale, c.anchor);
        const QRectF rect = zoom.photoRect();
        EXPECT_NEAR(rect.x(), c.expected.x(), 1e-6) << c.name;
        EXPECT_NEAR(rect.y(), c.expected.y(), 1e-6) << c.name;
        EXPECT_NEAR(rect.width(), c.expected.width(), 1e-6) << c.name;
        EXPECT_NEAR(rect.height(), c.expected.height(), 1e-6) << c.name;
        if (c.photoPointStays.x() >= 0) {
            const QPointF under = (c.anchor - rect.topLeft()) / zoom.scale();
            EXPECT_NEAR(under.x(), c.photoPointStays.x(), 1e-6) << c.name;
            EXPECT_NEAR(under.y(), c.photoPointStays.y(), 1e-6) << c.name;
        }
    }
}

TEST(PhotoZoom, ActualSizeFollowsTheDevicePixelRatio) {
    const struct {
        double ratio;
        QSizeF view;
        double shownWidth;  // of a 4000-pixel photo at 100 %, in view pixels
    } cases[] = {{1, {1920, 1080}, 4000}, {2, {960, 540}, 2000}, {1.5, {1280, 720}, 4000 / 1.5}};
    for (const auto& c : cases) {
        PhotoZoom zoom = Zoom(c.view, QSize(4000, 3000), c.ratio);
        zoom.zoomTo(zoom.actualScale(), QPointF(c.view.width() / 2, c.view.height() / 2));
        EXPECT_NEAR(zoom.photoRect().width(), c.shownWidth, 1e-6) << c.ratio;
        EXPECT_FALSE(zoom.fitted()) << c.ratio;
        zoom.fit();
        EXPECT_TRUE(zoom.fitted()) << c.ratio;
        EXPECT_NEAR(zoom.photoRect().height(), c.view.height(), 1e-6) << c.ratio;
    }
}

// A move stops where an edge of the photo would leave the view's edge.
TEST(PhotoZoom, MovingStopsAtTheEdges) {
    const struct {
        const char* name;
        QPointF delta;
        QPointF topLeft;
    } cases[] = {
        {"a little right and down", {100, 50}, {960 - 2016 + 100, 540 - 1512 + 50}},
        {"far right: the left edge meets the view's", {5000, 0}, {0, 540 - 1512}},
        {"far up: the bottom edge meets the view's", {0, -5000}, {960 - 2016, 1080 - 3024}},
    };
    for (const auto& c : cases) {
        PhotoZoom zoom = Zoom({1920, 1080}, {4032, 3024});
        zoom.zoomTo(1, QPointF(960, 540));
        zoom.moveBy(c.delta);
        EXPECT_EQ(zoom.photoRect().topLeft(), c.topLeft) << c.name;
    }
    PhotoZoom fitted = Zoom({1920, 1080}, {4032, 3024});
    fitted.moveBy(QPointF(300, 300));
    EXPECT_EQ(fitted.photoRect(), QRectF(240, 0, 1440, 1080)) << "a fitted photo does not move";
}

// A new view size keeps a fitted photo fitted, and a zoomed one at its scale
// about the view's centre.
TEST(PhotoZoom, ANewViewSize) {
    PhotoZoom fitted = Zoom({800, 600}, {4000, 3000});
    fitted.setView({1920, 1080}, 1);
    EXPECT_EQ(fitted.photoRect(), QRectF(240, 0, 1440, 1080));
    PhotoZoom zoomed = Zoom({800, 600}, {4000, 3000});
    zoomed.zoomTo(1, QPointF(400, 300));
    zoomed.setView({1920, 1080}, 1);
    EXPECT_EQ(zoomed.scale(), 1);
    EXPECT_EQ(zoomed.photoRect().center(), QPointF(960, 540));
}

}  // namespace
}  // namespace viewer
