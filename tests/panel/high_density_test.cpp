// The panel on a screen of device pixel ratio 2 (QT_SCALE_FACTOR=2, set by
// this program itself): the preview is drawn from the photo at device
// pixels, and so is the list text.
#include "panel_fixture.h"

#include "panel/list_surface.h"
#include <QPainter>

#include <QCoreApplication>

namespace paneltest {
namespace {

// Set before main creates the application, which reads it once.
const bool kScaled = qputenv("QT_SCALE_FACTOR", "2");

TEST_F(PanelTest, PreviewIsDrawnAtDevicePixels) {
    ASSERT_TRUE(kScaled);
    ASSERT_EQ(panel->devicePixelRatioF(), 2.0);
    // 400 x 300 one-pixel stripes fit the preview at 200 x 150 layout pixels,
    // which are exactly its 400 x 300 device pixels: each stripe stays one
    // device pixel wide. Drawn at layout pixels and enlarged, the stripes
    // would blur to grey.
    QImage stripes(400, 300, QImage::Format_RGB32);
    for (int x = 0; x < 400; ++x) {
        for (int y = 0; y < 300; ++y) stripes.setPixel(x, y, x % 2 ? 0xFFFFFFFFu : 0xFF000000u);
    }
    OpenPhoto(Write("stripes.png", Encode(stripes, "png")));
    ASSERT_EQ(panel->previewRect(), QRect(0, 134, 200, 150));

    const QImage& surface = panel->surface();
    EXPECT_EQ(surface.devicePixelRatio(), 2.0);
    EXPECT_EQ(surface.size(), QSize(737 * 2, 418 * 2));
    const int y = (134 + 75) * 2;
    int edges = 0;
    for (int x = 0; x + 1 < 400; ++x) {
        if (std::abs(qGray(surface.pixel(x, y)) - qGray(surface.pixel(x + 1, y))) > 200) ++edges;
    }
    EXPECT_EQ(edges, 399) << "every device pixel of the preview is a stripe of its own";

    // What the screen gets is the surface, pixel for pixel.
    QCoreApplication::processEvents();
    const QImage shown =
        panel->grab(QRect(0, 100, 200, 200)).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.size(), QSize(400, 400));
    EXPECT_EQ(shown.copy(0, 0, 400, 400),
              surface.copy(0, 200, 400, 400).convertToFormat(QImage::Format_RGB32));
}

TEST_F(PanelTest, ListTextIsDrawnAtDevicePixels) {
    OpenPhoto(Photo("three.jpg", 64, 48, 3));
    // The first row as the panel draws its cells, on a surface of ratio 2.
    QImage expected(516 * 2, 20 * 2, QImage::Format_RGB32);
    expected.setDevicePixelRatio(2);
    expected.fill(panel->listSurface()->background());
    {
        QPainter painter(&expected);
        viewer::PhotoPanel::drawCellText(painter, QStringLiteral("1"), QRectF(0, 4, 30, 12),
                                         Qt::AlignHCenter);
        viewer::PhotoPanel::drawCellText(painter, QStringLiteral("图像标题"),
                                         QRectF(30, 4, 160, 12), Qt::AlignRight);
        viewer::PhotoPanel::drawCellText(painter, QStringLiteral("Title 1"),
                                         QRectF(198, 4, 290, 12), Qt::AlignLeft);
    }

    QCoreApplication::processEvents();
    const QImage shown = panel->listSurface()
                             ->grab(QRect(0, 0, 516, 20))
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_EQ(shown, expected.convertToFormat(QImage::Format_RGB32));
    // Layout pixels enlarged would make every aligned 2 x 2 block one colour.
    int mixedBlocks = 0;
    for (int y = 0; y + 1 < shown.height(); y += 2) {
        for (int x = 0; x + 1 < shown.width(); x += 2) {
            const QRgb p = shown.pixel(x, y);
            if (shown.pixel(x + 1, y) != p || shown.pixel(x, y + 1) != p ||
                shown.pixel(x + 1, y + 1) != p)
                ++mixedBlocks;
        }
    }
    EXPECT_GT(mixedBlocks, 20);
}

}  // namespace
}  // namespace paneltest
