#include "controls/fr_scroll.h"

#include "platform/runtime.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// A shown window with a 17-pixel scroll bar at (20, 10); its inner height is
// chosen per test. Pointer events go through the window, so a press keeps
// the pointer for the pressed element as the platform does.
class ScrollTest : public ::testing::Test {
public:
    void SetUp() override {
        host.resize(120, 600);
        scroll = new frScroll(&host);
        scroll->setGeometry(20, 10, 17, 325);
        QObject::connect(scroll, &frScroll::Change, [this](int v) { log.push_back("change " + std::to_string(v)); });
        QObject::connect(scroll, &frScroll::MouseDown, [this] { log.push_back("down"); });
        QObject::connect(scroll, &frScroll::MouseUp, [this] { log.push_back("up"); });
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        window = host.windowHandle();
    }

    // Positions relative to the scroll bar.
    QPoint at(int x, int y) const { return QPoint(x, y) + scroll->pos(); }
    void press(int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(window, b, {}, at(8, y)); }
    void moveTo(int y) { QTest::mouseMove(window, at(8, y)); }
    void release(int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(window, b, {}, at(8, y)); }
    void setUp(int innerHeight, int max, int value) {
        scroll->setGeometry(20, 10, 17, innerHeight);
        scroll->SetMax(max);
        scroll->SetValue(value);
        log.clear();
    }

    QWidget host;
    frScroll* scroll = nullptr;
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
        scroll->SetMax(c.set);
        EXPECT_EQ(scroll->Max(), c.expectMax) << c.name;
        EXPECT_EQ(log, c.expectLog) << c.name;
        EXPECT_FLOAT_EQ(scroll->stepHeight(), 325.0f / (c.expectMax + 1)) << c.name;
        EXPECT_FLOAT_EQ(scroll->thumbHeight(), scroll->stepHeight()) << c.name;
    }
    scroll->SetMax(0);
    EXPECT_EQ(scroll->thumb()->height(), 325);
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
        scroll->SetValue(c.set);
        EXPECT_EQ(scroll->Value(), c.expect) << c.name;
        EXPECT_FLOAT_EQ(scroll->thumbTop(), c.expect * step) << c.name;
        EXPECT_EQ(scroll->thumb()->y(), static_cast<int>(std::nearbyint(c.expect * step))) << c.name;
        EXPECT_EQ(log, Log{"change " + std::to_string(c.expect)}) << c.name;
    }
}

TEST_F(ScrollTest, SmallerMaxLeavesValueAndThumbUntilValueIsSet) {
    setUp(325, 10, 8);
    const float top = scroll->thumbTop();
    scroll->SetMax(5);
    EXPECT_EQ(scroll->Value(), 8);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), top);
    EXPECT_TRUE(log.empty());
    scroll->SetValue(scroll->Value());
    EXPECT_EQ(scroll->Value(), 5);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 5 * 325.0f / 6);
}

TEST_F(ScrollTest, ResizeKeepsTheThumbTopUntilTheNextValue) {
    setUp(325, 10, 5);
    const float top = scroll->thumbTop();
    scroll->resize(17, 200);
    EXPECT_FLOAT_EQ(scroll->stepHeight(), 200.0f / 11);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), top);
    scroll->SetValue(5);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 5 * 200.0f / 11);
}

TEST_F(ScrollTest, HiddenControlLaysOutBeforeItIsShown) {
    frScroll hidden;
    hidden.setGeometry(0, 0, 17, 414);  // no resize event until shown
    hidden.SetMax(10);
    hidden.SetValue(10);
    EXPECT_FLOAT_EQ(hidden.stepHeight(), 414.0f / 11);
    EXPECT_FLOAT_EQ(hidden.thumbTop(), 10 * 414.0f / 11);
}

TEST_F(ScrollTest, BackColor1DerivesTheOtherColours) {
    scroll->SetBackColor1(0x00007571u);
    EXPECT_EQ(scroll->BackColor1(), 0x00007571u);
    EXPECT_EQ(scroll->BackColor2(), 0x00008A87u);
    EXPECT_EQ(scroll->BorderColor1(), 0x0000605Eu);
    EXPECT_EQ(scroll->BorderColor2(), 0x00009F9Bu);
    EXPECT_EQ(scroll->BorderColor3(), 0x0009C1BDu);
}

TEST_F(ScrollTest, DrawsTrackThumbAndOutlines) {
    setUp(100, 4, 1);  // step 20: thumb at 20..39
    scroll->SetBackColor1(0x00007571u);
    const auto colour = [](std::uint32_t ole) { return platform::ToQColor(ole); };
    struct Probe {
        const char* name;
        QPoint at;
        std::uint32_t expect;
    };
    const Probe probes[] = {
        {"track", {8, 70}, 0x00007571u},
        {"track outline, left", {0, 70}, 0x0000605Eu},
        {"track outline, right", {16, 70}, 0x0000605Eu},
        {"track outline, top", {8, 0}, 0x0000605Eu},
        {"track outline, bottom", {8, 99}, 0x0000605Eu},
        {"thumb fill", {8, 30}, 0x00008A87u},
        {"thumb outer outline, top", {8, 20}, 0x00009F9Bu},
        {"thumb outer outline, left", {0, 30}, 0x00009F9Bu},
        {"thumb outer outline, bottom", {8, 39}, 0x00009F9Bu},
        {"thumb inner outline, top", {8, 21}, 0x0009C1BDu},
        {"thumb inner outline, right", {15, 30}, 0x0009C1BDu},
        {"thumb inner outline, bottom", {8, 38}, 0x0009C1BDu},
    };
    const QImage image = scroll->grab().toImage();
    for (const Probe& p : probes) EXPECT_EQ(image.pixelColor(p.at), colour(p.expect)) << p.name;
}

TEST_F(ScrollTest, DragReportsByTheRoundedStepAndSnapsOnRelease) {
    setUp(325, 30, 0);
    press(5);  // on the thumb, 5 pixels below its top
    EXPECT_TRUE(scroll->dragging());
    moveTo(600);  // far below the control
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 315.0f);  // round(325 - 10.484)
    EXPECT_EQ(scroll->thumb()->y(), 315);
    EXPECT_EQ(scroll->Value(), 31) << "315 div 10: one more than max, until the release";
    release(600);
    EXPECT_FALSE(scroll->dragging());
    EXPECT_EQ(scroll->Value(), 30);
    EXPECT_FLOAT_EQ(scroll->thumbTop(), 30 * 325.0f / 31);
    EXPECT_EQ(log, (Log{"change 31", "change 30"}));
}

TEST_F(ScrollTest, DragFollowsThePointerWithinTheTrack) {
    setUp(325, 30, 0);
    struct Step {
        int y;         // pointer, relative to the control
        float top;     // thumb top afterwards
        int value;
    };
    press(5);
    const Step steps[] = {
        {25, 20, 2},    // the grab point stays under the pointer
        {26, 21, 2},
        {58, 53, 5},
        {-400, 0, 0},   // far above: stays at the top
        {104, 99, 9},
    };
    for (const Step& s : steps) {
        moveTo(s.y);
        EXPECT_FLOAT_EQ(scroll->thumbTop(), s.top) << "pointer at " << s.y;
        EXPECT_EQ(scroll->Value(), s.value) << "pointer at " << s.y;
    }
    release(104);
    EXPECT_EQ(scroll->Value(), 9);  // floor(99 / 10.484 + 0.5)
    EXPECT_EQ(log, (Log{"change 2", "change 5", "change 0", "change 9"}));
}

TEST_F(ScrollTest, OnlyTheLeftButtonDragsButAnyReleaseEndsIt) {
    setUp(325, 30, 0);
    press(5, Qt::RightButton);
    EXPECT_FALSE(scroll->dragging());
    moveTo(100);
    release(100, Qt::RightButton);
    EXPECT_EQ(scroll->Value(), 0);
    EXPECT_TRUE(log.empty()) << "a press on the thumb never reaches the track";

    press(5);
    moveTo(60);
    QTest::mousePress(window, Qt::RightButton, {}, at(8, 60));
    QTest::mouseRelease(window, Qt::RightButton, {}, at(8, 60));
    EXPECT_FALSE(scroll->dragging());
    release(60);
}

TEST_F(ScrollTest, StepBelowHalfAPixelStillMapsEveryPositionIntoRange) {
    setUp(325, 1000, 0);  // step 0.3243: rounded to 0
    ASSERT_LT(scroll->stepHeight(), 0.5f);
    ASSERT_GE(scroll->thumb()->height(), 1) << "the thumb stays visible";
    std::vector<int> seen;
    QObject::connect(scroll, &frScroll::Change, [&](int v) { seen.push_back(v); });
    press(0);
    ASSERT_TRUE(scroll->dragging());
    for (int y = 0; y <= 340; y += 5) {
        moveTo(y);
        if (y == 165) {
            EXPECT_EQ(scroll->Value(), 508) << "165 / (325 / 1001): the middle of the track is the middle of the range";
        }
    }
    EXPECT_EQ(scroll->Value(), 1000) << "the whole track is dragged over, not a part of it";
    release(340);
    ASSERT_FALSE(seen.empty());
    for (int v : seen) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 1000);
    }
    EXPECT_EQ(scroll->Value(), 1000) << "the bottom of the track is the end";
}

TEST_F(ScrollTest, SnapAfterASmallerMaxStaysInRange) {
    setUp(100, 10, 9);  // thumb at 81.8
    scroll->SetMax(0);  // value 0, thumb top left where it was
    log.clear();
    press(85);          // on the (now full-height) thumb, below the track's end
    release(85);
    EXPECT_EQ(scroll->Value(), 0);
    EXPECT_LE(scroll->Value(), scroll->Max());
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
        EXPECT_EQ(scroll->Value(), c.expectValue) << c.name;
        EXPECT_FALSE(scroll->autoRepeatActive()) << c.name;
    }
}

TEST_F(ScrollTest, ReleaseBeyondTheEndsKeepsTheValueAndReports) {
    setUp(330, 10, 10);  // step 30: thumb at 300..330
    press(50);           // track, above the thumb
    release(500);        // beyond the bottom
    EXPECT_EQ(scroll->Value(), 10);
    EXPECT_EQ(log, (Log{"down", "up", "change 10"}));

    setUp(330, 10, 0);   // thumb at 0..30
    press(200);
    release(-40);        // above the top
    EXPECT_EQ(scroll->Value(), 0);
    EXPECT_EQ(log, (Log{"down", "up", "change 0"}));
}

TEST_F(ScrollTest, ReleaseOnTheThumbsEdgesStepsNothing) {
    for (int edge : {90, 120}) {  // value 3, step 30: thumb 90..120
        setUp(330, 10, 3);
        press(250);
        release(edge);
        EXPECT_EQ(scroll->Value(), 3) << "edge " << edge;
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
    EXPECT_TRUE(scroll->autoRepeatActive());
    EXPECT_EQ(log, Log{"down"});
    for (int tick = 0; tick < 3; ++tick) scroll->Timer1Tick();
    EXPECT_EQ(log, (Log{"down", "change 1", "change 2", "change 3"}));
    EXPECT_TRUE(scroll->autoRepeatActive());
    scroll->Timer1Tick();  // the thumb's bottom (120) is beyond 100: stop
    EXPECT_FALSE(scroll->autoRepeatActive());
    EXPECT_EQ(scroll->Value(), 3);
    release(100);  // on the thumb: nothing more
    EXPECT_EQ(log, (Log{"down", "change 1", "change 2", "change 3"}));

    // Upwards, to the end of the track.
    setUp(330, 10, 2);
    press(5);
    scroll->Timer1Tick();
    scroll->Timer1Tick();
    EXPECT_EQ(scroll->Value(), 0);
    scroll->Timer1Tick();  // at 0: stop
    EXPECT_FALSE(scroll->autoRepeatActive());
    release(5);  // on the thumb now
    EXPECT_EQ(log, (Log{"down", "change 1", "change 0"}));
}

TEST_F(ScrollTest, StoredValueOutsideTheRangeStopsTheRepeat) {
    platform::PropertyStore store;
    store.writeInteger(QStringLiteral("max"), 5, 0);
    store.writeInteger(QStringLiteral("value"), 32767, 0);
    store.writeSingle(QStringLiteral("height"), 330 * 15, 1800);
    scroll->ReadProperties(store);
    ASSERT_EQ(scroll->Value(), 32767);
    log.clear();
    press(scroll->height() - 1);
    scroll->Timer1Tick();
    EXPECT_FALSE(scroll->autoRepeatActive());
    EXPECT_EQ(scroll->Value(), 32767);
}

TEST_F(ScrollTest, TheTimerTicksEvery300Milliseconds) {
    setUp(330, 10, 0);
    QSignalSpy changes(scroll, &frScroll::Change);
    press(300);
    EXPECT_TRUE(changes.wait(3000));
    release(300);
    EXPECT_FALSE(scroll->autoRepeatActive());
}

TEST_F(ScrollTest, WidthAndHeightClamp) {
    struct Case {
        const char* name;
        bool width;
        int set;
        int expectPixels;
    };
    const int screenPixels = scroll->screen()->geometry().height();
    const Case cases[] = {
        {"width below 30", true, 10, 2},
        {"width above 1200", true, 5000, 80},
        {"width 255", true, 255, 17},
        {"height below 100", false, 50, 7},
        {"height above the screen", false, 10000000, screenPixels},
        {"height 6270", false, 6270, 418},
    };
    for (const Case& c : cases) {
        if (c.width) {
            scroll->SetWidth(c.set);
            EXPECT_EQ(scroll->width(), c.expectPixels) << c.name;
            EXPECT_EQ(scroll->Width(), c.expectPixels * 15) << c.name;
        } else {
            scroll->SetHeight(c.set);
            EXPECT_EQ(scroll->height(), c.expectPixels) << c.name;
            EXPECT_EQ(scroll->Height(), c.expectPixels * 15) << c.name;
        }
    }
    scroll->setGeometry(0, 0, 1, 2);  // the host's own placing is not clamped
    EXPECT_EQ(scroll->Width(), 15);
}

TEST_F(ScrollTest, StoredPropertiesKeysAndRoundTrip) {
    frScroll fresh;
    platform::PropertyStore builtIn;
    fresh.WriteProperties(builtIn);
    EXPECT_EQ(builtIn.keys(), (QStringList{"backcolor1", "backcolor2", "bordercolor1", "bordercolor2",
                                            "bordercolor3"}))
        << "the built-in look differs from the read defaults; size, value and max are defaults";

    setUp(330, 10, 7);
    scroll->resize(30, 330);
    scroll->SetBackColor1(0x00123456u);
    platform::PropertyStore store;
    scroll->WriteProperties(store);
    EXPECT_EQ(store.keys(), (QStringList{"width", "height", "max", "value", "backcolor1", "backcolor2",
                                         "bordercolor1", "bordercolor2", "bordercolor3"}));
    EXPECT_FLOAT_EQ(store.readSingle(QStringLiteral("width"), 0), 450.0f);

    frScroll loaded;
    loaded.ReadProperties(store);
    EXPECT_EQ(loaded.Width(), 450);
    EXPECT_EQ(loaded.Height(), 330 * 15);
    EXPECT_EQ(loaded.Max(), 10);
    EXPECT_EQ(loaded.Value(), 7);
    EXPECT_EQ(loaded.BackColor1(), scroll->BackColor1());
    EXPECT_EQ(loaded.BackColor2(), scroll->BackColor2());
    EXPECT_EQ(loaded.BorderColor1(), scroll->BorderColor1());
    EXPECT_EQ(loaded.BorderColor2(), scroll->BorderColor2());
    EXPECT_EQ(loaded.BorderColor3(), scroll->BorderColor3());
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
         [](platform::PropertyStore& s) { s.writeInteger("max", 30, 0); s.writeInteger("value", 50, 0); }, 50, 30, {}},
        {"without max the value goes to 0 with Change(0)",
         [](platform::PropertyStore& s) { s.writeInteger("value", 5, 0); }, 0, 0, {"change 0"}},
        {"stored max above the limit is clamped",
         [](platform::PropertyStore& s) { s.writeInteger("max", 32767, 0); s.writeInteger("value", 3, 0); }, 3, 32755, {}},
        {"stored negative max", [](platform::PropertyStore& s) { s.writeInteger("max", -1, 0); }, 0, 0, {"change 0"}},
    };
    for (const Case& c : cases) {
        platform::PropertyStore store;
        c.fill(store);
        log.clear();
        scroll->ReadProperties(store);
        EXPECT_EQ(scroll->Value(), c.value) << c.name;
        EXPECT_EQ(scroll->Max(), c.max) << c.name;
        EXPECT_EQ(log, c.log) << c.name;
        EXPECT_TRUE(std::isfinite(scroll->stepHeight())) << c.name;
    }
}

TEST_F(ScrollTest, StoreWithOnlyTheTrackColourDerivesNothing) {
    platform::PropertyStore store;
    store.writeLong(QStringLiteral("backColor1"), 0x7571, 0);
    scroll->ReadProperties(store);
    EXPECT_EQ(scroll->BackColor1(), 0x7571u);
    EXPECT_EQ(scroll->BackColor2(), 0x8000000Fu);
    EXPECT_EQ(scroll->BorderColor1(), 0x80000010u);
    EXPECT_EQ(scroll->BorderColor2(), 0x80000016u);
    EXPECT_EQ(scroll->BorderColor3(), 0x8000000Bu);
    EXPECT_EQ(scroll->Width(), 255);
    EXPECT_EQ(scroll->Height(), 1800);
}

TEST_F(ScrollTest, PhotoPanelInstanceStoresOnlyItsColours) {
    const platform::PropertyStore design =
        platform::DesignProperties(QStringLiteral("voExif"), QStringLiteral("voScroll1"));
    scroll->ReadProperties(design);
    EXPECT_EQ(scroll->BackColor1(), 0x00007571u);
    EXPECT_EQ(scroll->BackColor2(), 0x00008A87u);
    EXPECT_EQ(scroll->BorderColor3(), 0x0009C1BDu);
    platform::PropertyStore written;
    scroll->WriteProperties(written);
    EXPECT_EQ(written.keys(), design.keys());
}

}  // namespace
