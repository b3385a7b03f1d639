#include "controls/flat_scroll_bar.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace {

using viewer::FlatScrollBar;
using Log = std::vector<std::string>;

// A shown window with a 17-pixel scroll bar at (20, 10); its inner height is
// chosen per test. Pointer events go through the window, so a press keeps
// the pointer for the pressed element as the platform does.
class ScrollTest : public ::testing::Test {
public:
    void SetUp() override {
        host.resize(120, 600);
        scroll = new FlatScrollBar(&host);
        scroll->setGeometry(20, 10, 17, 325);
        QObject::connect(scroll, &FlatScrollBar::valueChanged,
                         [this](int v) { log.push_back("change " + std::to_string(v)); });
        QObject::connect(scroll, &FlatScrollBar::trackPressed, [this] { log.push_back("down"); });
        QObject::connect(scroll, &FlatScrollBar::trackReleased, [this] { log.push_back("up"); });
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        window = host.windowHandle();
    }

    // Positions relative to the scroll bar.
    QPoint at(int x, int y) const { return QPoint(x, y) + scroll->pos(); }
    void press(int y, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(window, b, {}, at(8, y));
    }
    void moveTo(int y) { QTest::mouseMove(window, at(8, y)); }
    void release(int y, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(window, b, {}, at(8, y));
    }
    void setUp(int innerHeight, int max, int value) {
        scroll->setGeometry(20, 10, 17, innerHeight);
        scroll->setMaximum(max);
        scroll->setValue(value);
        log.clear();
    }

    QWidget host;
    FlatScrollBar* scroll = nullptr;
    QWindow* window = nullptr;
    Log log;
};

TEST_F(ScrollTest, SettingMax) {
    struct Case {
        const char* name;
        int set;
        int expectMax;
        Log expectLog;
    };
    const Case cases[] = {
        {"0 fills the track and raises Change(0)", 0, 0, {"change 0"}},
        {"negative becomes 0", -5, 0, {"change 0"}},
        {"above 32755 is clamped", 40000, 32755, {}},
        {"30", 30, 30, {}},
    };
    for (const Case& c : cases) {
        log.clear();
        scroll->setMaximum(c.set);
        EXPECT_EQ(scroll->maximum(), c.expectMax) << c.name;
        EXPECT_EQ(log, c.expectLog) << c.name;
        EXPECT_FLOAT_EQ(scroll->stepHeight(), 325.0f / (c.expectMax + 1)) << c.name;
        EXPECT_EQ(scroll->thumbRect().height(),
                  std::max(1, static_cast<int>(std::nearbyint(scroll->stepHeight()))))
            << c.name << ": the thumb is one position high, at least a pixel";
    }
    scroll->setMaximum(0);
    EXPECT_EQ(scroll->thumbRect().height(), 325);
}

TEST_F(ScrollTest, SettingValueClampsPlacesAndAlwaysRaisesChange) {
    setUp(325, 30, 0);
    struct Case {
        const char* name;
        int set;
        int expect;
    };
    const Case cases[] = {
        {"below 0", -3, 0},
        {"above max", 40, 30},
        {"inside", 12, 12},
        {"the same value again", 12, 12},
    };
    const float step = 325.0f / 31;
    for (const Case& c : cases) {
        log.clear();
        scroll->setValue(c.set);
        EXPECT_EQ(scroll->value(), c.expect) << c.name;
        EXPECT_FLOAT_EQ(scroll->thumbTop(), c.expect * step) << c.name;
        EXPECT_EQ(scroll->thumbRect().top(), static_cast<int>(std::nearbyint(c.expect * step)))
            << c.name;
        EXPECT_EQ(log, Log{"change " + std::to_string(c.expect)}) << c.name;
    }
}

TEST_F(ScrollTest, SmallerMaxLeavesValueAndThumbUntilValueIsSet) {
    setUp(325, 10, 8);
    const float top = scroll->thumbTop();
    scroll->setMaximum(5);
    EXPECT_EQ(scroll->value(), 8);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), top);
    EXPECT_TRUE(log.empty());
    scroll->setValue(scroll->value());
    EXPECT_EQ(scroll->value(), 5);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 5 * 325.0f / 6);
}

TEST_F(ScrollTest, ResizeKeepsTheThumbTopUntilTheNextValue) {
    setUp(325, 10, 5);
    const float top = scroll->thumbTop();
    scroll->resize(17, 200);
    EXPECT_FLOAT_EQ(scroll->stepHeight(), 200.0f / 11);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), top);
    scroll->setValue(5);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 5 * 200.0f / 11);
}

TEST_F(ScrollTest, HiddenControlLaysOutBeforeItIsShown) {
    FlatScrollBar hidden;
    hidden.setGeometry(0, 0, 17, 414);  // no resize event until shown
    hidden.setMaximum(10);
    hidden.setValue(10);
    EXPECT_FLOAT_EQ(hidden.stepHeight(), 414.0f / 11);
    EXPECT_FLOAT_EQ(hidden.thumbTop(), 10 * 414.0f / 11);
}

TEST_F(ScrollTest, TrackColourDerivesTheOtherColours) {
    scroll->setTrackColor(QColor(0x71, 0x75, 0x00));  // the window's colour
    EXPECT_EQ(scroll->trackColor(), QColor(0x71, 0x75, 0x00));
    EXPECT_EQ(scroll->thumbColor(), QColor(0x87, 0x8A, 0x00));
    EXPECT_EQ(scroll->trackBorderColor(), QColor(0x5E, 0x60, 0x00));
    EXPECT_EQ(scroll->thumbBorderColor(), QColor(0x9B, 0x9F, 0x00));
    EXPECT_EQ(scroll->thumbInnerBorderColor(), QColor(0xBD, 0xC1, 0x09));
}

TEST_F(ScrollTest, DrawsTrackThumbAndOutlines) {
    setUp(100, 4, 1);  // step 20: thumb at 20..39
    scroll->setTrackColor(QColor(0x71, 0x75, 0x00));
    struct Probe {
        const char* name;
        QPoint at;
        QRgb expect;
    };
    const Probe probes[] = {
        {"track", {8, 70}, 0xFF717500},
        {"track outline, left", {0, 70}, 0xFF5E6000},
        {"track outline, right", {16, 70}, 0xFF5E6000},
        {"track outline, top", {8, 0}, 0xFF5E6000},
        {"track outline, bottom", {8, 99}, 0xFF5E6000},
        {"thumb fill", {8, 30}, 0xFF878A00},
        {"thumb outer outline, top", {8, 20}, 0xFF9B9F00},
        {"thumb outer outline, left", {0, 30}, 0xFF9B9F00},
        {"thumb outer outline, bottom", {8, 39}, 0xFF9B9F00},
        {"thumb inner outline, top", {8, 21}, 0xFFBDC109},
        {"thumb inner outline, right", {15, 30}, 0xFFBDC109},
        {"thumb inner outline, bottom", {8, 38}, 0xFFBDC109},
    };
    const QImage image = scroll->grab().toImage();
    for (const Probe& p : probes) EXPECT_EQ(image.pixel(p.at), p.expect) << p.name;
}

TEST_F(ScrollTest, DragReportsByTheRoundedStepAndSnapsOnRelease) {
    setUp(325, 30, 0);
    press(5);  // on the thumb, 5 pixels below its top
    EXPECT_TRUE(scroll->isDragging());
    moveTo(600);                                  // far below the control
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 315.0f);  // round(325 - 10.484)
    EXPECT_EQ(scroll->thumbRect().top(), 315);
    EXPECT_EQ(scroll->value(), 31) << "315 div 10: one more than max, until the release";
    release(600);
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_EQ(scroll->value(), 30);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 30 * 325.0f / 31);
    EXPECT_EQ(log, (Log{"change 31", "change 30"}));
}

TEST_F(ScrollTest, DragFollowsThePointerWithinTheTrack) {
    setUp(325, 30, 0);
    struct Step {
        int y;      // pointer, relative to the control
        float top;  // thumb top afterwards
        int value;
    };
    press(5);
    const Step steps[] = {
        {25, 20, 2},                              // the grab point stays under the pointer
        {26, 21, 2},  {58, 53, 5}, {-400, 0, 0},  // far above: stays at the top
        {104, 99, 9},
    };
    for (const Step& s : steps) {
        moveTo(s.y);
        EXPECT_FLOAT_EQ(scroll->thumbTop(), s.top) << "pointer at " << s.y;
        EXPECT_EQ(scroll->value(), s.value) << "pointer at " << s.y;
    }
    release(104);
    EXPECT_EQ(scroll->value(), 9);  // floor(99 / 10.484 + 0.5)
    EXPECT_EQ(log, (Log{"change 2", "change 5", "change 0", "change 9"}));
}

TEST_F(ScrollTest, OnlyTheLeftButtonDragsButAnyReleaseEndsIt) {
    setUp(325, 30, 0);
    press(5, Qt::RightButton);
    EXPECT_FALSE(scroll->isDragging());
    moveTo(100);
    release(100, Qt::RightButton);
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_TRUE(log.empty()) << "a press on the thumb never reaches the track";

    press(5);
    moveTo(60);
    QTest::mousePress(window, Qt::RightButton, {}, at(8, 60));
    QTest::mouseRelease(window, Qt::RightButton, {}, at(8, 60));
    EXPECT_FALSE(scroll->isDragging());
    release(60);
}

TEST_F(ScrollTest, StepBelowHalfAPixelStillMapsEveryPositionIntoRange) {
    setUp(325, 1000, 0);  // step 0.3243: rounded to 0
    ASSERT_LT(scroll->stepHeight(), 0.5f);
    ASSERT_GE(scroll->thumbRect().height(), 1) << "the thumb stays visible";
    std::vector<int> seen;
    QObject::connect(scroll, &FlatScrollBar::valueChanged, [&](int v) { seen.push_back(v); });
    press(0);
    ASSERT_TRUE(scroll->isDragging());
    for (int y = 0; y <= 340; y += 5) {
        moveTo(y);
        if (y == 165) {
            EXPECT_EQ(scroll->value(), 508)
                << "165 / (325 / 1001): the middle of the track is the middle of the range";
        }
    }
    EXPECT_EQ(scroll->value(), 1000) << "the whole track is dragged over, not a part of it";
    release(340);
    ASSERT_FALSE(seen.empty());
    for (int v : seen) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 1000);
    }
    EXPECT_EQ(scroll->value(), 1000) << "the bottom of the track is the end";
}

TEST_F(ScrollTest, SnapAfterASmallerMaxStaysInRange) {
    setUp(100, 10, 9);      // thumb at 81.8
    scroll->setMaximum(0);  // value 0, thumb top left where it was
    log.clear();
    press(85);  // on the (now full-height) thumb, below the track's end
    release(85);
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_LE(scroll->value(), scroll->maximum());
}

TEST_F(ScrollTest, QuickClicksOnTheTrack) {
    struct Case {
        const char* name;
        int value;
        int pressY, releaseY;
        Log expect;
        int expectValue;
    };
    const Case cases[] = {
        {"below the thumb steps +1", 5, 300, 300, {"down", "up", "change 6"}, 6},
        {"above the thumb steps -1", 5, 10, 10, {"down", "up", "change 4"}, 4},
        {"the release decides the direction", 5, 300, 10, {"down", "up", "change 4"}, 4},
        {"a release on the thumb steps nothing", 5, 300, 57, {"down"}, 5},
    };
    for (const Case& c : cases) {
        setUp(325, 30, c.value);
        press(c.pressY);
        release(c.releaseY);
        EXPECT_EQ(log, c.expect) << c.name;
        EXPECT_EQ(scroll->value(), c.expectValue) << c.name;
        EXPECT_FALSE(scroll->isRepeating()) << c.name;
    }
}

TEST_F(ScrollTest, ReleaseBeyondTheEndsKeepsTheValueAndReports) {
    setUp(330, 10, 10);  // step 30: thumb at 300..330
    press(50);           // track, above the thumb
    release(500);        // beyond the bottom
    EXPECT_EQ(scroll->value(), 10);
    EXPECT_EQ(log, (Log{"down", "up", "change 10"}));

    setUp(330, 10, 0);  // thumb at 0..30
    press(200);
    release(-40);  // above the top
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_EQ(log, (Log{"down", "up", "change 0"}));
}

TEST_F(ScrollTest, ReleaseOnTheThumbsEdgesStepsNothing) {
    for (int edge : {90, 120}) {  // value 3, step 30: thumb 90..120
        setUp(330, 10, 3);
        press(250);
        release(edge);
        EXPECT_EQ(scroll->value(), 3) << "edge " << edge;
        EXPECT_EQ(log, Log{"down"}) << "edge " << edge;
    }
    setUp(330, 10, 3);
    press(250);
    release(89);
    EXPECT_EQ(log, (Log{"down", "up", "change 2"}));
}

TEST_F(ScrollTest, HeldPressRepeatsUntilTheThumbCoversThePressPoint) {
    setUp(330, 10, 0);  // step 30, thumb 30 high
    press(100);
    EXPECT_TRUE(scroll->isRepeating());
    EXPECT_EQ(log, Log{"down"});
    for (int tick = 0; tick < 3; ++tick) scroll->repeatStep();
    EXPECT_EQ(log, (Log{"down", "change 1", "change 2", "change 3"}));
    EXPECT_TRUE(scroll->isRepeating());
    scroll->repeatStep();  // the thumb's bottom (120) is beyond 100: stop
    EXPECT_FALSE(scroll->isRepeating());
    EXPECT_EQ(scroll->value(), 3);
    release(100);  // on the thumb: nothing more
    EXPECT_EQ(log, (Log{"down", "change 1", "change 2", "change 3"}));

    // Upwards, to the end of the track.
    setUp(330, 10, 2);
    press(5);
    scroll->repeatStep();
    scroll->repeatStep();
    EXPECT_EQ(scroll->value(), 0);
    scroll->repeatStep();  // at 0: stop
    EXPECT_FALSE(scroll->isRepeating());
    release(5);  // on the thumb now
    EXPECT_EQ(log, (Log{"down", "change 1", "change 0"}));
}

TEST_F(ScrollTest, StoredValueOutsideTheRangeStopsTheRepeat) {
    platform::PropertyStore store;
    store.writeInteger(QStringLiteral("max"), 5, 0);
    store.writeInteger(QStringLiteral("value"), 32767, 0);
    store.writeSingle(QStringLiteral("height"), 330 * 15, 1800);
    scroll->readProperties(store);
    ASSERT_EQ(scroll->value(), 32767);
    log.clear();
    press(scroll->height() - 1);
    scroll->repeatStep();
    EXPECT_FALSE(scroll->isRepeating());
    EXPECT_EQ(scroll->value(), 32767);
}

TEST_F(ScrollTest, TheTimerTicksEvery300Milliseconds) {
    setUp(330, 10, 0);
    QSignalSpy changes(scroll, &FlatScrollBar::valueChanged);
    press(300);
    EXPECT_TRUE(changes.wait(3000));
    release(300);
    EXPECT_FALSE(scroll->isRepeating());
}

TEST_F(ScrollTest, StoredPropertiesKeysAndRoundTrip) {
    FlatScrollBar fresh;
    platform::PropertyStore builtIn;
    fresh.writeProperties(builtIn);
    EXPECT_EQ(builtIn.keys(), (QStringList{"backcolor1", "backcolor2", "bordercolor1",
                                           "bordercolor2", "bordercolor3"}))
        << "the built-in look differs from the read defaults; size, value and max are defaults";

    setUp(330, 10, 7);
    scroll->resize(30, 330);
    scroll->setTrackColor(QColor(0x56, 0x34, 0x12));
    platform::PropertyStore store;
    scroll->writeProperties(store);
    EXPECT_EQ(store.keys(),
              (QStringList{"width", "height", "max", "value", "backcolor1", "backcolor2",
                           "bordercolor1", "bordercolor2", "bordercolor3"}));
    EXPECT_FLOAT_EQ(store.readSingle(QStringLiteral("width"), 0), 450.0f)
        << "kept in twips, 15 to the pixel";
    EXPECT_EQ(store.readLong(QStringLiteral("backColor1"), 0), 0x00123456) << "kept as 0x00BBGGRR";

    FlatScrollBar loaded;
    loaded.readProperties(store);
    EXPECT_EQ(loaded.size(), QSize(30, 330));
    EXPECT_EQ(loaded.maximum(), 10);
    EXPECT_EQ(loaded.value(), 7);
    EXPECT_EQ(loaded.trackColor(), scroll->trackColor());
    EXPECT_EQ(loaded.thumbColor(), scroll->thumbColor());
    EXPECT_EQ(loaded.trackBorderColor(), scroll->trackBorderColor());
    EXPECT_EQ(loaded.thumbBorderColor(), scroll->thumbBorderColor());
    EXPECT_EQ(loaded.thumbInnerBorderColor(), scroll->thumbInnerBorderColor());
}

TEST_F(ScrollTest, ReadingStoredProperties) {
    struct Case {
        const char* name;
        std::function<void(platform::PropertyStore&)> fill;
        int value;
        int max;
        Log log;
    };
    const Case cases[] = {
        {"value beyond max is kept as stored",
         [](platform::PropertyStore& s) {
             s.writeInteger("max", 30, 0);
             s.writeInteger("value", 50, 0);
         },
         50,
         30,
         {}},
        {"without max the value goes to 0 with Change(0)",
         [](platform::PropertyStore& s) { s.writeInteger("value", 5, 0); },
         0,
         0,
         {"change 0"}},
        {"stored max above the limit is clamped",
         [](platform::PropertyStore& s) {
             s.writeInteger("max", 32767, 0);
             s.writeInteger("value", 3, 0);
         },
         3,
         32755,
         {}},
        {"stored negative max",
         [](platform::PropertyStore& s) { s.writeInteger("max", -1, 0); },
         0,
         0,
         {"change 0"}},
    };
    for (const Case& c : cases) {
        platform::PropertyStore store;
        c.fill(store);
        log.clear();
        scroll->readProperties(store);
        EXPECT_EQ(scroll->value(), c.value) << c.name;
        EXPECT_EQ(scroll->maximum(), c.max) << c.name;
        EXPECT_EQ(log, c.log) << c.name;
        EXPECT_TRUE(std::isfinite(scroll->stepHeight())) << c.name;
    }
}

TEST_F(ScrollTest, StoreWithOnlyTheTrackColourDerivesNothing) {
    FlatScrollBar empty;
    empty.readProperties(platform::PropertyStore());
    platform::PropertyStore store;
    store.writeLong(QStringLiteral("backColor1"), 0x7571, 0);
    scroll->readProperties(store);
    EXPECT_EQ(scroll->trackColor(), QColor(0x71, 0x75, 0x00));
    EXPECT_EQ(scroll->thumbColor(), empty.thumbColor());
    EXPECT_EQ(scroll->trackBorderColor(), empty.trackBorderColor());
    EXPECT_EQ(scroll->thumbBorderColor(), empty.thumbBorderColor());
    EXPECT_EQ(scroll->thumbInnerBorderColor(), empty.thumbInnerBorderColor());
    EXPECT_NE(scroll->thumbColor(), QColor(0x87, 0x8A, 0x00)) << "not derived from the track";
    EXPECT_EQ(scroll->size(), empty.size());
    EXPECT_EQ(scroll->size(), QSize(17, 120)) << "255 x 1800 twips";
}

TEST_F(ScrollTest, PhotoPanelInstanceAsDesigned) {
    const platform::PropertyStore design =
        platform::designProperties(QStringLiteral("photo_panel"), QStringLiteral("scrollBar"));
    scroll->readProperties(design);
    FlatScrollBar derived;
    derived.setTrackColor(QColor(0x71, 0x75, 0x00));
    for (const auto& [name, stored, fromTrack] :
         {std::tuple{"track", scroll->trackColor(), derived.trackColor()},
          std::tuple{"thumb", scroll->thumbColor(), derived.thumbColor()},
          std::tuple{"track outline", scroll->trackBorderColor(), derived.trackBorderColor()},
          std::tuple{"thumb outline", scroll->thumbBorderColor(), derived.thumbBorderColor()},
          std::tuple{"thumb inner outline", scroll->thumbInnerBorderColor(),
                     derived.thumbInnerBorderColor()}}) {
        EXPECT_EQ(stored, fromTrack)
            << name << ": the stored colours are the ones the window's colour gives";
    }
    platform::PropertyStore written;
    scroll->writeProperties(written);
    EXPECT_EQ(written.keys(), design.keys());
}

}  // namespace
