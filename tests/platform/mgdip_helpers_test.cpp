#include "platform/mgdip_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace {

using mGdip::FitToBox;

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
        FitToBox(c.maxWidth, c.maxHeight, width, height);
        EXPECT_EQ(width, c.expectWidth) << c.name;
        EXPECT_EQ(height, c.expectHeight) << c.name;
    }
}

}  // namespace
