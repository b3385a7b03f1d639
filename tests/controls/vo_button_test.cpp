#include "controls/vo_button.h"

#include "platform/runtime.h"

#include <QPainter>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

QPixmap Solid(int width, int height, QColor colour) {
    QPixmap pixmap(width, height);
    pixmap.fill(colour);
    return pixmap;
}

platform::Picture SolidPicture(int width, int height, QColor colour) {
    return platform::Picture(Solid(width, height, colour));
}

constexpr std::uint32_t Ole(int r, int g, int b) {
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
           (static_cast<std::uint32_t>(b) << 16);
}

// A shown window with one 28 x 20 button at (10, 10). Pointer events go
// through the window, as the platform delivers them, so the button's pointer
// capture decides who gets the moves outside it.
class ButtonTest : public ::testing::Test {
public:
    void SetUp() override {
        host.resize(200, 120);
        button = new voButton(&host);
        button->setGeometry(10, 10, 28, 20);
        QObject::connect(button, &voButton::MouseEnter, [this] { log.push_back("enter"); });
        QObject::connect(button, &voButton::MouseLeave, [this] { log.push_back("leave"); });
        QObject::connect(button, &voButton::Click, [this] { log.push_back("click"); });
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        window = host.windowHandle();
    }
    void TearDown() override {
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    }

    // Positions relative to the button.
    QPoint at(QPoint p) const { return p + button->pos(); }
    void move(QPoint p) { QTest::mouseMove(window, at(p)); }
    void press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(window, b, {}, at(p)); }
    void release(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(window, b, {}, at(p)); }

    QColor pixel(QPoint p) { return button->grab().toImage().pixelColor(p); }

    QWidget host;
    voButton* button = nullptr;
    QWindow* window = nullptr;
    Log log;
};

TEST_F(ButtonTest, PointerSequences) {
    struct Step {
        enum Kind { Move, Press, Release } kind;
        QPoint at;
        Qt::MouseButton button = Qt::LeftButton;
    };
    using S = Step;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Log expect;
        std::int16_t state;
        bool inside;
        bool captured;
    };
    const Case cases[] = {
        {"first move inside at the corner", {{S::Move, {0, 0}}}, {"enter"}, 1, true, true},
        {"further moves inside raise nothing", {{S::Move, {0, 0}}, {S::Move, {5, 5}}, {S::Move, {27, 19}}},
         {"enter"}, 1, true, true},
        {"x = width is still inside", {{S::Move, {5, 5}}, {S::Move, {28, 5}}}, {"enter"}, 1, true, true},
        {"one pixel beyond is outside, delivered through the capture",
         {{S::Move, {5, 5}}, {S::Move, {29, 5}}}, {"enter", "leave"}, 0, false, false},
        {"press and release without moving", {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Release, {5, 5}}},
         {"enter", "click"}, 1, false, true},
        {"the next move after a click enters again",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Release, {5, 5}}, {S::Move, {6, 6}}},
         {"enter", "click", "enter"}, 1, true, true},
        {"press, leave, return, release: no click",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Move, {60, 50}}, {S::Move, {5, 5}}, {S::Release, {5, 5}}},
         {"enter", "leave", "enter"}, 1, true, true},
        {"a held press dragged around outside leaves once",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Move, {60, 50}}, {S::Move, {70, 50}}, {S::Move, {-5, 3}}},
         {"enter", "leave"}, 0, false, false},
        {"right button clicks too",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}, Qt::RightButton}, {S::Release, {5, 5}, Qt::RightButton}},
         {"enter", "click"}, 1, false, true},
        {"after a click, a press with a small move turns hot: no second click",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Release, {5, 5}}, {S::Press, {5, 5}}, {S::Move, {6, 5}},
          {S::Release, {6, 5}}},
         {"enter", "click", "enter"}, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::mouseMove(window, QPoint(150, 100));  // start away from the button
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        button->SetEnabled(true);
        log.clear();
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::Move: move(step.at); break;
            case Step::Press: press(step.at, step.button); break;
            case Step::Release: release(step.at, step.button); break;
            }
        }
        EXPECT_EQ(log, c.expect);
        EXPECT_EQ(button->drawState(), c.state);
        EXPECT_EQ(button->pointerInside(), c.inside);
        EXPECT_EQ(QWidget::mouseGrabber() == button, c.captured);
        if (QWidget::mouseGrabber() == button) {
            release(QPoint(150, 100) - button->pos(), Qt::NoButton);
        }
    }
}

TEST_F(ButtonTest, DoubleClickRaisesOneClick) {
    move({5, 5});
    log.clear();
    // The platform's sequence for a double click: press, release, then the
    // double-click notification in place of the second press, release.
    const QPointF pos(5, 5);
    const QPointF global = button->mapToGlobal(pos);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, pos, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }
    EXPECT_EQ(log, (Log{"click"}));

    // The same through the window system, with the interval of a real double click.
    log.clear();
    QTest::mouseDClick(window, Qt::LeftButton, {}, at({5, 5}));
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("click")), 1);
}

TEST_F(ButtonTest, DisabledButtonIgnoresThePointer) {
    move({5, 5});
    button->SetEnabled(false);
    EXPECT_EQ(button->drawState(), 3);
    EXPECT_FALSE(button->pointerInside());
    EXPECT_NE(QWidget::mouseGrabber(), button) << "a disabled button gives the pointer back";
    log.clear();
    move({6, 6});
    press({6, 6});
    release({6, 6});
    move({80, 80});
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(button->drawState(), 3);

    button->SetEnabled(true);
    EXPECT_EQ(button->drawState(), 0);
    move({6, 6});
    EXPECT_EQ(log, (Log{"enter"}));
}

TEST_F(ButtonTest, EachStateDrawsItsPictureOrTheNormalOneOverItsColour) {
    const QColor red(255, 0, 0), green(0, 255, 0), yellow(255, 255, 0), cyan(0, 255, 255);
    struct Case {
        const char* name;
        bool withOwnPicture;
        std::function<void(ButtonTest&)> enter;
        QColor picture;     // at (5, 5), inside the 20 x 10 pictures
        QColor background;  // at (25, 15), beyond them
    };
    const Case cases[] = {
        {"normal", true, [](ButtonTest&) {}, red, QColor(10, 20, 30)},
        {"hot with its own picture", true, [](ButtonTest& t) { t.move({5, 5}); }, green, QColor(40, 50, 60)},
        {"hot without: normal picture over the hot colour", false, [](ButtonTest& t) { t.move({5, 5}); }, red,
         QColor(40, 50, 60)},
        {"pressed with its own picture", true, [](ButtonTest& t) { t.move({5, 5}); t.press({5, 5}); }, yellow,
         QColor(70, 80, 90)},
        {"pressed without", false, [](ButtonTest& t) { t.move({5, 5}); t.press({5, 5}); }, red, QColor(70, 80, 90)},
        {"disabled with its own picture", true, [](ButtonTest& t) { t.button->SetEnabled(false); }, cyan,
         QColor(100, 110, 120)},
        {"disabled without", false, [](ButtonTest& t) { t.button->SetEnabled(false); }, red,
         QColor(100, 110, 120)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        delete button;
        button = new voButton(&host);
        button->setGeometry(10, 10, 28, 20);
        button->show();
        button->SetColor(Ole(10, 20, 30));
        button->SetColorHot(Ole(40, 50, 60));
        button->SetColorDown(Ole(70, 80, 90));
        button->SetColorFalse(Ole(100, 110, 120));
        button->SetCaption(QString());
        button->SetPictureNormal(SolidPicture(20, 10, red));
        if (c.withOwnPicture) {
            button->SetPictureHot(SolidPicture(20, 10, green));
            button->SetPictureDown(SolidPicture(20, 10, yellow));
            button->SetPictureFalse(SolidPicture(20, 10, cyan));
        }
        QTest::mouseMove(window, QPoint(150, 100));
        c.enter(*this);
        EXPECT_EQ(pixel({5, 5}), c.picture);
        EXPECT_EQ(pixel({25, 15}), c.background);
        EXPECT_EQ(pixel({5, 15}), c.background) << "below the picture";
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(150, 100));
    }
}

TEST_F(ButtonTest, PictureIsDrawnAtItsOwnSizeFromTheCorner) {
    button->SetCaption(QString());
    button->SetColor(Ole(0, 0, 255));
    button->setGeometry(10, 10, 10, 10);  // narrower than its picture
    QPixmap picture(20, 10);
    picture.fill(Qt::white);
    QPainter(&picture).fillRect(0, 0, 10, 10, Qt::red);  // left half red
    button->SetPictureNormal(platform::Picture(picture));
    EXPECT_EQ(pixel({9, 5}), QColor(Qt::red)) << "only the picture's left part shows";

    button->setGeometry(10, 10, 40, 30);  // larger than its picture
    EXPECT_EQ(pixel({15, 5}), QColor(Qt::white));
    EXPECT_EQ(pixel({25, 5}), QColor(0, 0, 255)) << "background right of the picture";
    EXPECT_EQ(pixel({5, 20}), QColor(0, 0, 255)) << "background below the picture";

    // Without any picture only the background shows.
    button->SetPictureNormal(platform::Picture());
    EXPECT_EQ(pixel({5, 5}), QColor(0, 0, 255));
}

TEST_F(ButtonTest, BorderLiesInsideTheButton) {
    button->SetCaption(QString());
    button->SetColor(Ole(255, 255, 255));
    button->SetBorderColor(Ole(0, 0, 255));
    button->SetBorderWidth(2);
    const QImage plain = button->grab().toImage();
    EXPECT_EQ(plain.pixelColor(0, 10), QColor(Qt::white)) << "no border without NotBorder";

    button->SetNotBorder(true);
    button->setGeometry(10, 10, 30, 20);
    const QImage framed = button->grab().toImage();
    // Inside the 1-pixel frame the inner area is 28 x 18: the outline runs
    // from (0, 0) to (28 - 2, 18 - 2), each side 2 pixels wide.
    const QPoint inner(1, 1);
    struct Probe {
        const char* name;
        QPoint at;
        QColor expect;
    };
    const Probe probes[] = {
        {"left side, first column", {0, 9}, Qt::blue},
        {"left side, second column", {1, 9}, Qt::blue},
        {"inside the left side", {2, 9}, Qt::white},
        {"right side, last column", {27, 9}, Qt::blue},
        {"right side, column before", {26, 9}, Qt::blue},
        {"inside the right side", {25, 9}, Qt::white},
        {"top", {14, 1}, Qt::blue},
        {"bottom", {14, 17}, Qt::blue},
        {"inside the bottom", {14, 15}, Qt::white},
    };
    for (const Probe& p : probes) EXPECT_EQ(framed.pixelColor(p.at + inner), p.expect) << p.name;
    EXPECT_EQ(framed.pixelColor(0, 0), platform::ToQColor(0x80000006u)) << "the window frame";
    EXPECT_EQ(button->surface().size(), QSize(28, 18));
}

TEST_F(ButtonTest, CaptionIsCentredByItsMeasuredSize) {
    button->setGeometry(10, 10, 82, 40);
    button->SetColor(Ole(255, 255, 255));
    button->SetCaptionColor(Ole(0, 0, 0));
    struct Case {
        const char* name;
        QString caption;
        bool ink;
    };
    const Case cases[] = {
        {"default caption", QStringLiteral("按钮"), true},
        {"latin caption", QStringLiteral("Open"), true},
        {"empty caption draws nothing", QString(), false},
    };
    for (const Case& c : cases) {
        button->SetCaption(c.caption);
        const QImage image = button->grab().toImage();
        int left = 1000, right = -1, top = 1000, bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == QColor(Qt::white)) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        EXPECT_EQ(right >= 0, c.ink) << c.name;
        if (!c.ink) continue;
        EXPECT_NEAR((left + right + 1) / 2.0, 41.0, 2.0) << c.name;
        EXPECT_NEAR((top + bottom + 1) / 2.0, 20.0, 4.0) << c.name;
    }
}

TEST_F(ButtonTest, OnlyPictureNormalAndEnabledRedrawAtOnce) {
    button->SetCaption(QString());
    button->SetColor(Ole(255, 0, 0));
    button->SetPictureNormal(platform::Picture());  // redraws: red
    EXPECT_EQ(button->surface().pixelColor(5, 5), QColor(255, 0, 0));

    QStringList changed;
    QObject::connect(button, &voButton::PropertyChanged, [&](const QString& name) { changed << name; });
    button->SetColor(Ole(0, 255, 0));
    button->SetPictureHot(SolidPicture(4, 4, Qt::blue));
    EXPECT_EQ(button->surface().pixelColor(5, 5), QColor(255, 0, 0)) << "shows at the next redraw";
    EXPECT_TRUE(changed.isEmpty());

    button->SetPictureNormal(SolidPicture(4, 4, Qt::black));
    EXPECT_EQ(changed, QStringList{QStringLiteral("PictureNormal")});
    EXPECT_EQ(button->surface().pixelColor(5, 5), QColor(0, 255, 0));
    EXPECT_EQ(button->surface().pixelColor(1, 1), QColor(0, 0, 0));
}

TEST_F(ButtonTest, CreatedWithoutStoredPropertiesWritesNothing) {
    voButton fresh;
    EXPECT_EQ(fresh.Caption(), QStringLiteral("按钮"));
    EXPECT_TRUE(fresh.Enabled());
    EXPECT_EQ(fresh.Color(), 0x8000000Fu);
    EXPECT_EQ(fresh.ColorHot(), 0x8000000Fu);
    EXPECT_EQ(fresh.ColorDown(), 0x8000000Fu);
    EXPECT_EQ(fresh.ColorFalse(), 0u);
    EXPECT_EQ(fresh.BorderWidth(), 1);
    platform::PropertyStore store;
    fresh.WriteProperties(store);
    EXPECT_TRUE(store.isEmpty()) << store.keys().join(u',').toStdString();
}

TEST_F(ButtonTest, StoredPropertiesKeysOrderAndRoundTrip) {
    voButton source;
    source.SetEnabled(false);
    source.SetCaption(QStringLiteral("保存"));
    source.SetPictureNormal(platform::Picture(QStringLiteral(":/pictures/open_normal.png")));
    source.SetPictureHot(platform::Picture(QStringLiteral(":/pictures/open_hot.png")));
    source.SetPictureDown(platform::Picture(QStringLiteral(":/pictures/open_down.png")));
    source.SetPictureFalse(platform::Picture(QStringLiteral(":/pictures/open_disabled.png")));
    source.SetColor(1);
    source.SetColorHot(2);
    source.SetColorDown(3);
    source.SetBorderColor(4);
    source.SetCaptionColor(5);
    source.SetBorderWidth(3);
    source.SetColorFalse(6);     // not stored
    source.SetNotBorder(true);   // not stored
    platform::PropertyStore store;
    source.WriteProperties(store);
    EXPECT_EQ(store.keys(),
              (QStringList{"enabled", "caption", "picturenormal", "picturehot", "picturedown", "picturefalse",
                           "color", "colorhot", "colordown", "bordercolor", "captioncolor", "borderwidth"}));

    voButton loaded;
    loaded.ReadProperties(store);
    EXPECT_FALSE(loaded.Enabled());
    EXPECT_EQ(loaded.drawState(), 0) << "loading does not change the state";
    EXPECT_EQ(loaded.Caption(), QStringLiteral("保存"));
    EXPECT_EQ(loaded.PictureNormal().source(), QStringLiteral(":/pictures/open_normal.png"));
    EXPECT_EQ(loaded.PictureFalse().source(), QStringLiteral(":/pictures/open_disabled.png"));
    EXPECT_EQ(loaded.PictureNormal().pixmap().size(), QSize(82, 80)) << "the picture itself is loaded";
    EXPECT_EQ(loaded.Color(), 1u);
    EXPECT_EQ(loaded.ColorHot(), 2u);
    EXPECT_EQ(loaded.ColorDown(), 3u);
    EXPECT_EQ(loaded.BorderColor(), 4u);
    EXPECT_EQ(loaded.CaptionColor(), 5u);
    EXPECT_EQ(loaded.BorderWidth(), 3);
    EXPECT_EQ(loaded.ColorFalse(), 0u);
    EXPECT_FALSE(loaded.NotBorder());
}

TEST_F(ButtonTest, LoadedDisabledButtonLooksNormalButIgnoresThePointer) {
    platform::PropertyStore store;
    store.writeBoolean(QStringLiteral("Enabled"), false, true);
    store.writeLong(QStringLiteral("Color"), static_cast<std::int32_t>(Ole(1, 2, 3)), 0);
    store.writeString(QStringLiteral("Caption"), QString(), QStringLiteral("按钮"));
    button->ReadProperties(store);
    EXPECT_EQ(button->surface().pixelColor(5, 5), QColor(1, 2, 3));
    log.clear();
    move({5, 5});
    press({5, 5});
    release({5, 5});
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(button->drawState(), 0);
}

TEST_F(ButtonTest, MissingCaptionReadsAsTheDefault) {
    struct Case {
        const char* name;
        std::function<void(platform::PropertyStore&)> fill;
        QString expect;
    };
    const Case cases[] = {
        {"no Caption entry", [](platform::PropertyStore&) {}, QStringLiteral("按钮")},
        {"empty caption", [](platform::PropertyStore& s) { s.writeString("Caption", QString(), "按钮"); }, QString()},
        {"other caption", [](platform::PropertyStore& s) { s.writeString("CAPTION", "打开", "按钮"); }, QStringLiteral("打开")},
    };
    for (const Case& c : cases) {
        platform::PropertyStore store;
        c.fill(store);
        button->ReadProperties(store);
        EXPECT_EQ(button->Caption(), c.expect) << c.name;
    }
}

TEST_F(ButtonTest, DesignValuesOfTheMainWindowButtons) {
    button->ReadProperties(platform::DesignProperties(QStringLiteral("frmMain"), QStringLiteral("voButton3")));
    EXPECT_EQ(button->Caption(), QString());
    EXPECT_EQ(button->PictureNormal().pixmap().size(), QSize(28, 20));
    EXPECT_TRUE(button->PictureFalse().isNull());
    EXPECT_TRUE(button->Enabled());
}

}  // namespace
