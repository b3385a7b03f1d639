#include "controls/image_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using viewer::ImageButton;
using Look = ImageButton::Look;
using Log = std::vector<std::string>;

QPixmap solid(int width, int height, QColor colour) {
    QPixmap pixmap(width, height);
    pixmap.fill(colour);
    return pixmap;
}

// A window that counts the presses that reach it.
class Host : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A shown window with one 28 x 20 button at (10, 10). Pointer events go
// through the window, as the window system delivers them, so the button's
// pointer grab decides who gets the moves outside it.
class ButtonTest : public ::testing::Test {
public:
    void SetUp() override {
        host.resize(200, 120);
        button = new ImageButton(&host);
        button->setGeometry(10, 10, 28, 20);
        connectLog();
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        window = host.windowHandle();
    }
    void TearDown() override {
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    }

    void connectLog() {
        QObject::connect(button, &ImageButton::pointerEntered, [this] { log.push_back("enter"); });
        QObject::connect(button, &ImageButton::pointerLeft, [this] { log.push_back("leave"); });
        QObject::connect(button, &ImageButton::clicked, [this] { log.push_back("click"); });
    }
    // A new button, for a case that must not inherit the last one's state.
    void replaceButton() {
        if (QGuiApplication::mouseButtons() != Qt::NoButton) {
            QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(150, 100));
        }
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        delete button;
        button = new ImageButton(&host);
        button->setGeometry(10, 10, 28, 20);
        button->show();
        connectLog();
        QTest::mouseMove(window, QPoint(150, 100));
        log.clear();
    }

    // Positions relative to the button.
    QPoint at(QPoint p) const { return p + button->pos(); }
    void move(QPoint p) { QTest::mouseMove(window, at(p)); }
    void press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(window, b, {}, at(p));
    }
    void release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(window, b, {}, at(p));
    }

    QColor pixel(QPoint p) { return button->grab().toImage().pixelColor(p); }

    Host host;
    ImageButton* button = nullptr;
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
        Look look;
        bool inside;
        bool grabbed;
    };
    const Case cases[] = {
        {"first move inside at the corner", {{S::Move, {0, 0}}}, {"enter"}, Look::Hot, true, true},
        {"further moves inside raise nothing",
         {{S::Move, {0, 0}}, {S::Move, {5, 5}}, {S::Move, {27, 19}}},
         {"enter"},
         Look::Hot,
         true,
         true},
        {"x = width is still inside",
         {{S::Move, {5, 5}}, {S::Move, {28, 5}}},
         {"enter"},
         Look::Hot,
         true,
         true},
        {"one pixel beyond is outside, delivered through the grab",
         {{S::Move, {5, 5}}, {S::Move, {29, 5}}},
         {"enter", "leave"},
         Look::Normal,
         false,
         false},
        {"press and release without moving",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Release, {5, 5}}},
         {"enter", "click"},
         Look::Hot,
         false,
         true},
        {"the next move after a click enters again",
         {{S::Move, {5, 5}}, {S::Press, {5, 5}}, {S::Release, {5, 5}}, {S::Move, {6, 6}}},
         {"enter", "click", "enter"},
         Look::Hot,
         true,
         true},
        {"press, leave, return, release: no click",
         {{S::Move, {5, 5}},
          {S::Press, {5, 5}},
          {S::Move, {60, 50}},
          {S::Move, {5, 5}},
          {S::Release, {5, 5}}},
         {"enter", "leave", "enter"},
         Look::Hot,
         true,
         true},
        {"a held press dragged around outside leaves once",
         {{S::Move, {5, 5}},
          {S::Press, {5, 5}},
          {S::Move, {60, 50}},
          {S::Move, {70, 50}},
          {S::Move, {-5, 3}}},
         {"enter", "leave"},
         Look::Normal,
         false,
         false},
        {"right button clicks too",
         {{S::Move, {5, 5}},
          {S::Press, {5, 5}, Qt::RightButton},
          {S::Release, {5, 5}, Qt::RightButton}},
         {"enter", "click"},
         Look::Hot,
         false,
         true},
        {"after a click, a press with a small move turns hot: no second click",
         {{S::Move, {5, 5}},
          {S::Press, {5, 5}},
          {S::Release, {5, 5}},
          {S::Press, {5, 5}},
          {S::Move, {6, 5}},
          {S::Release, {6, 5}}},
         {"enter", "click", "enter"},
         Look::Hot,
         true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        replaceButton();
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::Move: move(step.at); break;
            case Step::Press: press(step.at, step.button); break;
            case Step::Release: release(step.at, step.button); break;
            }
        }
        EXPECT_EQ(log, c.expect);
        EXPECT_EQ(button->look(), c.look);
        EXPECT_EQ(button->pointerInside(), c.inside);
        EXPECT_EQ(QWidget::mouseGrabber() == button, c.grabbed);
    }
}

TEST_F(ButtonTest, DoubleClickRaisesOneClick) {
    move({5, 5});
    log.clear();
    // The window system's sequence for a double click: press, release, then
    // the double-click notification in place of the second press, release.
    const QPointF pos(5, 5);
    const QPointF global = button->mapToGlobal(pos);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, pos, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }
    EXPECT_EQ(log, (Log{"click"}));

    // The same through the window system, with the interval of a real double click.
    log.clear();
    QTest::mouseDClick(window, Qt::LeftButton, {}, at({5, 5}));
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("click")), 1);
}

TEST_F(ButtonTest, DisabledButtonIgnoresThePointerAndKeepsItFromTheWindow) {
    move({5, 5});
    button->setEnabled(false);
    EXPECT_EQ(button->look(), Look::Disabled);
    EXPECT_FALSE(button->pointerInside());
    EXPECT_NE(QWidget::mouseGrabber(), button) << "a disabled button gives the pointer back";
    log.clear();
    host.presses = 0;
    move({6, 6});
    press({6, 6});
    release({6, 6});
    move({80, 80});
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(button->look(), Look::Disabled);
    EXPECT_EQ(host.presses, 0) << "the press stays with the button, so it cannot drag the window";

    button->setEnabled(true);
    EXPECT_EQ(button->look(), Look::Normal);
    move({6, 6});
    EXPECT_EQ(log, (Log{"enter"}));
    press({6, 6});
    release({6, 6});
    EXPECT_EQ(log, (Log{"enter", "click"}));
    EXPECT_EQ(host.presses, 0);
}

TEST_F(ButtonTest, EachLookDrawsItsPictureOrTheNormalOneOverItsColour) {
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
        {"hot with its own picture", true,
         [](ButtonTest& t) {
             t.move({5, 5});
         },
         green, QColor(40, 50, 60)},
        {"hot without: normal picture over the hot colour", false,
         [](ButtonTest& t) {
             t.move({5, 5});
         },
         red, QColor(40, 50, 60)},
        {"pressed with its own picture", true,
         [](ButtonTest& t) {
             t.move({5, 5});
             t.press({5, 5});
         },
         yellow, QColor(70, 80, 90)},
        {"pressed without", false,
         [](ButtonTest& t) {
             t.move({5, 5});
             t.press({5, 5});
         },
         red, QColor(70, 80, 90)},
        {"disabled with its own picture", true, [](ButtonTest& t) { t.button->setEnabled(false); },
         cyan, QColor(100, 110, 120)},
        {"disabled without", false, [](ButtonTest& t) { t.button->setEnabled(false); }, red,
         QColor(100, 110, 120)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        replaceButton();
        button->setBackground(Look::Normal, QColor(10, 20, 30));
        button->setBackground(Look::Hot, QColor(40, 50, 60));
        button->setBackground(Look::Pressed, QColor(70, 80, 90));
        button->setBackground(Look::Disabled, QColor(100, 110, 120));
        button->setCaption(QString());
        button->setPicture(Look::Normal, solid(20, 10, red));
        if (c.withOwnPicture) {
            button->setPicture(Look::Hot, solid(20, 10, green));
            button->setPicture(Look::Pressed, solid(20, 10, yellow));
            button->setPicture(Look::Disabled, solid(20, 10, cyan));
        }
        c.enter(*this);
        EXPECT_EQ(pixel({5, 5}), c.picture);
        EXPECT_EQ(pixel({25, 15}), c.background);
        EXPECT_EQ(pixel({5, 15}), c.background) << "below the picture";
    }
}

TEST_F(ButtonTest, TheLookOnScreenFollowsThePointer) {
    button->setCaption(QString());
    button->setBackground(Look::Normal, Qt::red);
    button->setBackground(Look::Hot, Qt::green);
    button->setBackground(Look::Pressed, Qt::blue);
    const auto onScreen = [this] {
        QCoreApplication::processEvents();
        return host.grab().toImage().pixelColor(at({20, 15}));
    };
    EXPECT_EQ(onScreen(), QColor(Qt::red));
    move({5, 5});
    EXPECT_EQ(onScreen(), QColor(Qt::green));
    press({5, 5});
    EXPECT_EQ(onScreen(), QColor(Qt::blue));
    release({5, 5});
    EXPECT_EQ(onScreen(), QColor(Qt::green));
    move({60, 60});
    EXPECT_EQ(onScreen(), QColor(Qt::red));
}

TEST_F(ButtonTest, PictureIsDrawnAtItsOwnSizeFromTheCorner) {
    button->setCaption(QString());
    button->setBackground(Look::Normal, Qt::blue);
    button->setGeometry(10, 10, 10, 10);  // narrower than its picture
    QPixmap picture(20, 10);
    picture.fill(Qt::white);
    QPainter(&picture).fillRect(0, 0, 10, 10, Qt::red);  // left half red
    button->setPicture(Look::Normal, picture);
    EXPECT_EQ(pixel({9, 5}), QColor(Qt::red)) << "only the picture's left part shows";

    button->setGeometry(10, 10, 40, 30);  // larger than its picture
    EXPECT_EQ(pixel({15, 5}), QColor(Qt::white));
    EXPECT_EQ(pixel({25, 5}), QColor(Qt::blue)) << "background right of the picture";
    EXPECT_EQ(pixel({5, 20}), QColor(Qt::blue)) << "background below the picture";

    button->setPicture(Look::Normal, QPixmap());
    EXPECT_EQ(pixel({5, 5}), QColor(Qt::blue)) << "without any picture only the background shows";
}

TEST_F(ButtonTest, BorderLiesInsideTheFrame) {
    button->setCaption(QString());
    button->setBackground(Look::Normal, Qt::white);
    button->setBorderColor(Qt::blue);
    button->setBorderWidth(2);
    EXPECT_EQ(pixel({0, 10}), QColor(Qt::white)) << "no border without a frame";

    button->setFramed(true);
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
    EXPECT_EQ(framed.pixel(0, 0), button->palette().color(QPalette::Shadow).rgb()) << "the frame";
    EXPECT_EQ(framed.pixel(29, 19), button->palette().color(QPalette::Shadow).rgb()) << "the frame";
}

TEST_F(ButtonTest, CaptionIsCentredByItsMeasuredSize) {
    button->setGeometry(10, 10, 82, 40);
    button->setBackground(Look::Normal, Qt::white);
    button->setCaptionColor(Qt::black);
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
        button->setCaption(c.caption);
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

TEST_F(ButtonTest, CreatedWithoutStoredPropertiesWritesNothing) {
    ImageButton fresh;
    platform::PropertyStore store;
    fresh.writeProperties(store);
    EXPECT_TRUE(store.isEmpty()) << store.keys().join(u',').toStdString();
    EXPECT_EQ(fresh.caption(), QStringLiteral("按钮"))
        << "reading an empty store gives the same button";
}

TEST_F(ButtonTest, StoredPropertiesRoundTrip) {
    platform::PropertyStore stored;
    stored.writeBoolean(QStringLiteral("Enabled"), false, true);
    stored.writeString(QStringLiteral("Caption"), QStringLiteral("保存"), QString());
    stored.writePicture(QStringLiteral("PictureNormal"),
                        QStringLiteral(":/pictures/open_normal.png"));
    stored.writePicture(QStringLiteral("PictureHot"), QStringLiteral(":/pictures/open_hot.png"));
    stored.writePicture(QStringLiteral("PictureDown"), QStringLiteral(":/pictures/open_down.png"));
    stored.writePicture(QStringLiteral("PictureFalse"),
                        QStringLiteral(":/pictures/open_disabled.png"));
    stored.writeLong(QStringLiteral("Color"), 0x00030201, 0);  // red 1, green 2, blue 3
    stored.writeLong(QStringLiteral("ColorHot"), 0x00060504, 0);
    stored.writeLong(QStringLiteral("ColorDown"), 0x00090807, 0);
    stored.writeLong(QStringLiteral("BorderColor"), 0x000C0B0A, 0);
    stored.writeLong(QStringLiteral("CaptionColor"), 0x000F0E0D, 0);
    stored.writeInteger(QStringLiteral("BorderWidth"), 3, 1);

    ImageButton loaded;
    loaded.setBackground(Look::Disabled, Qt::green);  // neither kept nor stored
    loaded.setFramed(true);
    loaded.readProperties(stored);
    EXPECT_FALSE(loaded.isEnabled());
    EXPECT_EQ(loaded.look(), Look::Normal) << "loading does not change the look";
    EXPECT_EQ(loaded.caption(), QStringLiteral("保存"));
    EXPECT_EQ(loaded.picture(Look::Normal).size(), QSize(82, 80)) << "the picture itself is loaded";
    EXPECT_EQ(loaded.picture(Look::Disabled).toImage(),
              QPixmap(":/pictures/open_disabled.png").toImage());
    EXPECT_EQ(loaded.background(Look::Normal), QColor(1, 2, 3));
    EXPECT_EQ(loaded.background(Look::Hot), QColor(4, 5, 6));
    EXPECT_EQ(loaded.background(Look::Pressed), QColor(7, 8, 9));
    EXPECT_EQ(loaded.background(Look::Disabled), QColor(Qt::black));
    EXPECT_EQ(loaded.borderColor(), QColor(10, 11, 12));
    EXPECT_EQ(loaded.captionColor(), QColor(13, 14, 15));
    EXPECT_EQ(loaded.borderWidth(), 3);
    EXPECT_FALSE(loaded.isFramed());

    platform::PropertyStore written;
    loaded.writeProperties(written);
    EXPECT_EQ(written.keys(),
              (QStringList{"enabled", "caption", "picturenormal", "picturehot", "picturedown",
                           "picturefalse", "color", "colorhot", "colordown", "bordercolor",
                           "captioncolor", "borderwidth"}));
    for (const QString& key : stored.keys())
        EXPECT_EQ(written.value(key), stored.value(key)) << key.toStdString();

    loaded.setPicture(Look::Hot, solid(4, 4, Qt::red));
    platform::PropertyStore afterCode;
    loaded.writeProperties(afterCode);
    EXPECT_FALSE(afterCode.contains(QStringLiteral("PictureHot")))
        << "a picture set in code has no path to keep";
}

TEST_F(ButtonTest, LoadedDisabledButtonLooksNormalButIgnoresThePointer) {
    platform::PropertyStore store;
    store.writeBoolean(QStringLiteral("Enabled"), false, true);
    store.writeLong(QStringLiteral("Color"), 0x00030201, 0);
    store.writeString(QStringLiteral("Caption"), QString(), QStringLiteral("按钮"));
    button->readProperties(store);
    EXPECT_EQ(pixel({5, 5}), QColor(1, 2, 3));
    log.clear();
    move({5, 5});
    press({5, 5});
    release({5, 5});
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(button->look(), Look::Normal);
}

TEST_F(ButtonTest, StoredCaption) {
    struct Case {
        const char* name;
        std::function<void(platform::PropertyStore&)> fill;
        QString expect;
    };
    const Case cases[] = {
        {"no Caption entry", [](platform::PropertyStore&) {}, QStringLiteral("按钮")},
        {"empty caption",
         [](platform::PropertyStore& s) { s.writeString("Caption", QString(), "按钮"); },
         QString()},
        {"key in other case",
         [](platform::PropertyStore& s) { s.writeString("CAPTION", "打开", "按钮"); },
         QStringLiteral("打开")},
    };
    for (const Case& c : cases) {
        platform::PropertyStore store;
        c.fill(store);
        button->readProperties(store);
        EXPECT_EQ(button->caption(), c.expect) << c.name;
    }
}

TEST_F(ButtonTest, TheMainWindowsButtonsAsDesigned) {
    struct Case {
        const char* instance;
        QSize size;
        bool disabledPicture;
    };
    const Case cases[] = {
        {"openButton", {82, 80}, true},   {"saveButton", {82, 80}, true},
        {"menuButton", {28, 20}, false},  {"minimiseButton", {28, 20}, false},
        {"closeButton", {28, 20}, false},
    };
    for (const Case& c : cases) {
        ImageButton designed(&host);
        designed.readProperties(platform::designProperties(QStringLiteral("main_window"),
                                                           QString::fromLatin1(c.instance)));
        designed.resize(designed.sizeHint());
        EXPECT_EQ(designed.size(), c.size) << c.instance;
        EXPECT_EQ(designed.caption(), QString()) << c.instance;
        EXPECT_TRUE(designed.isEnabled()) << c.instance;
        for (Look look : {Look::Normal, Look::Hot, Look::Pressed}) {
            EXPECT_FALSE(designed.picture(look).isNull())
                << c.instance << " look " << static_cast<int>(look);
        }
        EXPECT_EQ(!designed.picture(Look::Disabled).isNull(), c.disabledPicture) << c.instance;
        // The pictures cover the button: no background shows in any corner.
        const QImage shown = designed.grab().toImage();
        const QImage picture =
            designed.picture(Look::Normal).toImage().convertToFormat(shown.format());
        for (QPoint corner : {QPoint(0, 0), QPoint(c.size.width() - 1, c.size.height() - 1)}) {
            EXPECT_EQ(shown.pixel(corner), picture.pixel(corner)) << c.instance;
        }
    }
}

}  // namespace
