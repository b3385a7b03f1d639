// The metadata list view: scroll range, rows, bands and cells, the coupling
// with the scroll bar, the wheel, and lists longer than a picture can be.
#include "panel_fixture.h"

#include "controls/flat_scroll_bar.h"
#include "panel/hint_icon.h"
#include "panel/list_surface.h"
#include <QPainter>
#include "tiff_builder.h"

#include <QFrame>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

namespace paneltest {
namespace {

constexpr QRgb kBand = 0xFFF2F3DEu;

QRgb WindowColour(const viewer::PhotoPanel* panel) {
    return panel->listSurface()->background().rgb();
}

TEST_F(PanelTest, ScrollRangeFollowsTheListLength) {
    struct Case {
        int panelHeight;
        int rows;
        int max;
    };
    // round((rows x 20 - inner height) / 20 + 1), halves to even; a negative
    // result is 0 in the scroll bar. The frame takes 4 pixels of the height.
    const Case cases[] = {
        {418, 30, 10}, {418, 21, 1}, {418, 20, 0},
        {418, 10, 0},  {418, 1, 0},  {414, 30, 10},  // 10.5 halves to 10
        {414, 31, 12},                               // 11.5 halves to 12
    };
    for (const Case& c : cases) {
        const std::string name =
            std::to_string(c.rows) + " rows in a panel " + std::to_string(c.panelHeight) + " high";
        panel->resize(737, c.panelHeight);
        OpenPhoto(Photo(QString::fromStdString(std::to_string(c.rows) + ".jpg"), 64, 48, c.rows));
        ASSERT_EQ(panel->metadata().EntryCount(), static_cast<std::size_t>(c.rows)) << name;
        EXPECT_EQ(panel->listViewport()->contentsRect().height(), c.panelHeight - 4) << name;
        EXPECT_EQ(panel->scrollBar()->maximum(), c.max) << name;
        EXPECT_EQ(panel->scrollBar()->value(), 0) << name;
        EXPECT_TRUE(panel->scrollBar()->isVisible()) << name << ": shown even when all rows fit";
        EXPECT_TRUE(panel->listViewport()->isVisible()) << name;
        EXPECT_EQ(panel->listSurface()->geometry(), QRect(0, 0, 516, c.rows * 20)) << name;
    }
}

TEST_F(PanelTest, BandOnOddRowsOnly) {
    OpenPhoto(Photo("two.jpg", 64, 48, 3));
    const QImage rows = ListPixels(QRect(0, 0, 516, 60));
    const QRgb window = WindowColour(panel);
    struct Case {
        const char* name;
        QPoint at;
        QRgb colour;
    };
    // x 500 and 515 lie right of every cell: only the band or the background.
    const Case cases[] = {
        {"first row has no band", {500, 10}, window},
        {"second row is banded", {500, 30}, kBand},
        {"the band reaches the surface's right edge", {515, 21}, kBand},
        {"the band starts at x 0", {0, 39}, kBand},
        {"third row has no band", {500, 50}, window},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rows.pixel(c.at) | 0xFF000000u, c.colour | 0xFF000000u)
            << c.name << std::hex << ": " << rows.pixel(c.at);
    }
}

TEST_F(PanelTest, CellsAtTheirRectanglesAndAlignments) {
    testsupport::TiffSpec tiff;
    tiff.ifd0.fields = {
        testsupport::Ascii(0x010F, "Canon"),
        testsupport::Ascii(0x0110, std::string(120, 'W')),
        testsupport::Ascii(0x010E, "x"),
    };
    const QString path = Write("cells.jpg", WithExifJpeg(Encode(Solid(64, 48, Qt::red), "jpeg"),
                                                         testsupport::BuildTiff(tiff).bytes));
    OpenPhoto(path);
    ASSERT_EQ(panel->metadata().EntryCount(), 4u);  // and the file's size
    const QImage rows = ListPixels(QRect(0, 0, 516, 60));
    struct Case {
        const char* name;
        int row;
        int left, right;  // the cell's columns
        int inkLeftMin, inkLeftMax, inkRightMin, inkRightMax;
    };
    const Case cases[] = {
        {"number 1 centred in 0..30", 0, 0, 30, 10, 15, 15, 20},
        {"label 厂商 right-aligned at 190", 0, 30, 195, 150, 175, 184, 189},
        {"value Canon left-aligned at 198", 0, 195, 516, 198, 200, 210, 250},
        {"a value wider than 290 is cut before 488", 1, 195, 516, 198, 200, 440, 487},
    };
    for (const Case& c : cases) {
        const QRect cell(c.left, c.row * 20, c.right - c.left, 20);
        const QRect ink = Bounds(rows, cell, IsInk);
        ASSERT_TRUE(ink.isValid()) << c.name;
        EXPECT_GE(ink.left(), c.inkLeftMin) << c.name;
        EXPECT_LE(ink.left(), c.inkLeftMax) << c.name;
        EXPECT_GE(ink.right(), c.inkRightMin) << c.name;
        EXPECT_LE(ink.right(), c.inkRightMax) << c.name;
        EXPECT_GE(ink.top(), c.row * 20 + 4) << c.name;
    }
}

TEST_F(PanelTest, ScrollBarValueMovesTheSurfaceOnly) {
    OpenPhoto(Photo("thirty.jpg", 64, 48, 30));
    const int drawn = panel->listSurface()->stripsDrawn();
    struct Case {
        int set;
        int value;
    };
    const Case cases[] = {{1, 1}, {5, 5}, {10, 10}, {11, 10}, {-2, 0}};
    for (const Case& c : cases) {
        panel->scrollBar()->setValue(c.set);
        QCoreApplication::processEvents();
        EXPECT_EQ(panel->scrollBar()->value(), c.value) << "set " << c.set;
        EXPECT_EQ(panel->listSurface()->pos(), QPoint(0, -20 * c.value)) << "set " << c.set;
        EXPECT_EQ(panel->listSurface()->height(), 600) << "set " << c.set;
    }
    EXPECT_EQ(panel->listSurface()->stripsDrawn(), drawn) << "scrolling draws nothing";

    // At the end, rows 11 to 30 are in view: the last row's band (row 30 is
    // odd-indexed) ends at the viewport's row 400.
    panel->scrollBar()->setValue(10);
    QCoreApplication::processEvents();
    const QImage view = ViewportPixels();
    EXPECT_EQ(view.pixel(500, 399) | 0xFF000000u, kBand);
    EXPECT_EQ(view.pixel(500, 405) | 0xFF000000u, WindowColour(panel) | 0xFF000000u);
}

TEST_F(PanelTest, DraggingTheThumbScrollsTheList) {
    OpenPhoto(Photo("thirty.jpg", 64, 48, 30));
    viewer::FlatScrollBar* scroll = panel->scrollBar();
    QWindow* window = host->windowHandle();
    // Max 10 over 418 pixels: a thumb 38 pixels high, pressed in its middle
    // and let go at `to` (scroll bar pixels).
    struct Case {
        const char* name;
        int to;
        int value;
    };
    const Case cases[] = {
        {"down 2 steps", 19 + 76, 2}, {"to the bottom", 417, 10}, {"back to the top", 0, 0}};
    for (const Case& c : cases) {
        const QPoint from = scroll->mapTo(host.get(), QPoint(8, scroll->thumbRect().top() + 19));
        const QPoint to = scroll->mapTo(host.get(), QPoint(8, c.to));
        QTest::mousePress(window, Qt::LeftButton, {}, from);
        QTest::mouseMove(window, to);
        QTest::mouseRelease(window, Qt::LeftButton, {}, to);
        EXPECT_EQ(scroll->value(), c.value) << c.name;
        EXPECT_EQ(panel->listSurface()->y(), -20 * scroll->value()) << c.name;
    }
}

TEST_F(PanelTest, WheelMovesThreeRowsPerNotch) {
    OpenPhoto(Photo("thirty.jpg", 64, 48, 30));
    QWindow* window = host->windowHandle();
    struct Case {
        const char* name;
        QPoint at;  // in the window
        int delta;
        int value;
    };
    const Case cases[] = {
        {"one notch down over the list", {400, 100}, -120, 3},
        {"two notches down", {400, 100}, -240, 9},
        {"past the end stops at Max", {400, 100}, -120, 10},
        {"one notch up over the frame", {201, 300}, 120, 7},
        {"half a notch does nothing yet", {400, 100}, 60, 7},
        {"the other half completes it", {400, 100}, 60, 4},
        {"over the scroll bar", {728, 300}, 120, 1},
        {"over the preview column nothing moves", {100, 100}, 120, 1},
    };
    for (const Case& c : cases) {
        // As the window system delivers it: to the widget under the pointer,
        // passed up to its parents while nobody takes it.
        QWheelEvent wheel(QPointF(c.at), QPointF(window->mapToGlobal(c.at)), QPoint(),
                          QPoint(0, c.delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(window, &wheel);
        EXPECT_EQ(panel->scrollBar()->value(), c.value) << c.name;
        EXPECT_EQ(panel->listSurface()->y(), -20 * c.value) << c.name;
    }
}

TEST_F(PanelTest, SecondPhotoWithFewerRowsLeavesNoneOfTheFirst) {
    OpenPhoto(Photo("a.jpg", 64, 48, 30));
    panel->scrollBar()->setValue(5);
    OpenPhoto(Photo("b.jpg", 64, 48, 3));
    EXPECT_EQ(Labels(), (std::vector<std::string>{"图像标题", "图像标题", "文件大小"}));
    ASSERT_EQ(Values().size(), 3u);
    EXPECT_EQ(Values()[0], "Title 1");
    EXPECT_EQ(Values()[1], "Title 2");
    EXPECT_EQ(panel->scrollBar()->value(), 0);
    EXPECT_EQ(panel->listSurface()->geometry(), QRect(0, 0, 516, 60));
    QCoreApplication::processEvents();
    const QImage view = ViewportPixels();
    const QRgb window = WindowColour(panel);
    EXPECT_FALSE(
        Bounds(view, QRect(0, 60, 516, 354), [&](QRgb p) { return p != window; }).isValid())
        << "below the three rows only background";
    EXPECT_TRUE(Bounds(view, QRect(0, 0, 516, 60), IsInk).isValid());
}

// A list is drawn over the pixels of the list before it where they fit:
// each row as on fresh pixels, none of the rows before.
TEST_F(PanelTest, ListDrawnOverTheLastOneShowsNoneOfIt) {
    const struct {
        const char* name;
        int before;
        int rows;
    } cases[] = {
        {"as long as the last", 60, 60},
        {"shorter, in one whole strip", 120, 50},
        {"longer than the last", 55, 105},
        {"shorter, with part of a strip", 75, 52},
    };
    for (const auto& c : cases) {
        const QString photo = Photo(QStringLiteral("%1.jpg").arg(c.rows), 64, 48, c.rows);
        const QRect all(0, 0, 516, c.rows * 20);
        // After three rows nothing can be drawn over: the strips are new.
        OpenPhoto(Photo("three.jpg", 64, 48, 3));
        OpenPhoto(photo);
        const QImage fresh = ListPixels(all);
        OpenPhoto(Photo(QStringLiteral("before%1.jpg").arg(c.before), 64, 48, c.before));
        OpenPhoto(photo);
        EXPECT_EQ(ListPixels(all), fresh) << c.name;
    }
}

// In place of an empty list, one line says that the photo has no metadata;
// there is nothing to scroll, copy or point at.
// A photo without Exif still has its size: one row, and the list behaves as
// for any short list.
TEST_F(PanelTest, PhotoWithoutExifListsItsSize) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    testsupport::TiffSpec unknownOnly;
    unknownOnly.ifd0.fields = {testsupport::Short(0x0102, {8})};
    const Case cases[] = {
        {"no Exif at all", Encode(Solid(64, 48, Qt::red), "jpeg")},
        {"only tags outside the catalogue",
         WithExifJpeg(Encode(Solid(64, 48, Qt::red), "jpeg"),
                      testsupport::BuildTiff(unknownOnly).bytes)},
    };
    for (const Case& c : cases) {
        OpenPhoto(Photo("a.jpg", 64, 48, 30));
        panel->scrollBar()->setValue(5);
        const QString path = Write("bare.jpg", c.bytes);
        OpenPhoto(path);
        EXPECT_EQ(panel->photoName(), "bare.jpg") << c.name;
        EXPECT_EQ(Labels(), std::vector<std::string>{"文件大小"}) << c.name;
        EXPECT_TRUE(panel->showsPhoto()) << c.name;
        EXPECT_TRUE(panel->listViewport()->isVisible()) << c.name;
        EXPECT_EQ(panel->scrollBar()->value(), 0) << c.name;
        EXPECT_EQ(panel->listSurface()->geometry(), QRect(0, 0, 516, 20)) << c.name;
        EXPECT_EQ(panel->rowAt(QPoint(250, 10)), 0) << c.name;
        QCoreApplication::processEvents();
        EXPECT_TRUE(Bounds(ViewportPixels(), QRect(0, 0, 516, 20), IsInk).isValid())
            << c.name << ": the row is drawn";
    }
}

// Rows past 32,767 pixels: positions are not 16-bit.
TEST_F(PanelTest, LongListPositionsDoNotWrap) {
    OpenPhoto(Photo("long.png", 64, 48, 2000, "png"));
    ASSERT_EQ(panel->metadata().EntryCount(), 2000u);
    EXPECT_EQ(panel->scrollBar()->maximum(), 1980);
    EXPECT_EQ(panel->rowsPerStep(), 1);
    EXPECT_EQ(panel->listSurface()->height(), 40000);
    panel->scrollBar()->setValue(1700);
    EXPECT_EQ(panel->listSurface()->y(), -34000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Bounds(ViewportPixels(), QRect(0, 0, 516, 414), IsInk).isValid());
}

// 40,000 rows: 800,000 pixels high. The scroll bar counts to 32,755 only, so
// the list moves two rows per step; the pixels stay within the budget.
TEST_F(PanelTest, VeryLongListStaysReachableAndWithinMemory) {
    testsupport::TiffSpec tiff;
    tiff.ifd0.fields.assign(39999, testsupport::Ascii(0x010E, "r"));  // and the file's size
    const QString path = Write("huge.png", WithExifPng(Encode(Solid(64, 48, Qt::red), "png"),
                                                       testsupport::BuildTiff(tiff).bytes));
    OpenPhoto(path);
    ASSERT_EQ(panel->metadata().EntryCount(), 40000u);
    viewer::ListSurface* surface = panel->listSurface();
    EXPECT_EQ(surface->height(), 800000);
    EXPECT_EQ(panel->rowsPerStep(), 2);
    // round((800000 - 414) / 20 + 1) = 39980 positions, two rows each.
    EXPECT_EQ(panel->scrollBar()->maximum(), 19990);
    EXPECT_LE(surface->bytesHeld(), viewer::ListSurface::kBudgetBytes);

    panel->scrollBar()->setValue(19990);
    EXPECT_EQ(surface->y(), -799600) << "the last rows come into view";
    const int drawn = surface->stripsDrawn();
    QCoreApplication::processEvents();
    const QImage view = ViewportPixels();
    EXPECT_TRUE(Bounds(view, QRect(0, 0, 516, 400), IsInk).isValid())
        << "rows drawn when first shown";
    EXPECT_GT(surface->stripsDrawn(), drawn);
    EXPECT_LE(surface->bytesHeld(), viewer::ListSurface::kBudgetBytes);
    // Row 40,000 (odd index) is banded and ends 14 pixels above the bottom.
    EXPECT_EQ(view.pixel(500, 399) | 0xFF000000u, kBand);
    EXPECT_EQ(view.pixel(500, 401) | 0xFF000000u, WindowColour(panel) | 0xFF000000u);

    const int before = surface->stripsDrawn();
    panel->scrollBar()->setValue(19990);
    QCoreApplication::processEvents();
    (void)ViewportPixels();
    EXPECT_EQ(surface->stripsDrawn(), before) << "a strip shown once is kept";
}

}  // namespace
}  // namespace paneltest
