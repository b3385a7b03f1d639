// The layout's arithmetic and the design's colours.
#include "platform/colours.h"
#include "platform/layout.h"

#include <QApplication>
#include <QPalette>
#include <gtest/gtest.h>

#include <limits>

namespace {

using platform::fitToBox;

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
