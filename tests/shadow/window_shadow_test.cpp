#include "platform/messages.h"
#include "shadow/window_shadow.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QWindowStateChangeEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

using viewer::StripSide;
using viewer::StripWindow;
using viewer::WindowShadow;

const char* nameOf(StripSide side) {
    constexpr const char* kNames[] = {"right", "bottom", "left", "top"};
    return kNames[static_cast<int>(side)];
}

// A frameless window that counts the events it gets itself.
class CountingWindow : public QWidget {
public:
    CountingWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {}
    std::map<QEvent::Type, int> seen;

protected:
    bool event(QEvent* event) override {
        ++seen[event->type()];
        return QWidget::event(event);
    }
};

class ShadowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WindowShadow::setTranslucencyProbe([this] { return supported; });
        platform::setErrorLogHandler([this](const QString& text) { logged.push_back(text); });
        platform::setMessageHandler(
            [this](const platform::Message& message) { boxes.push_back(message); });
        window = std::make_unique<CountingWindow>();
        window->setGeometry(100, 100, 737, 528);
    }
    void TearDown() override {
        WindowShadow::setTranslucencyProbe(nullptr);
        platform::setErrorLogHandler(nullptr);
        platform::setMessageHandler(nullptr);
    }

    // The shadow as the main window puts it on, then the window shown.
    std::unique_ptr<WindowShadow> attachAndShow() {
        auto shadow = std::make_unique<WindowShadow>();
        EXPECT_TRUE(shadow->attach(window.get()));
        shadow->setDepth(7);
        shadow->setColor(Qt::black);
        shadow->setOpacity(50);
        window->show();
        QCoreApplication::processEvents();
        return shadow;
    }

    // Each strip's pixels are a new image whenever they are drawn again.
    static std::map<StripSide, qint64> drawings(const WindowShadow& shadow) {
        std::map<StripSide, qint64> keys;
        for (StripSide side : viewer::kStripSides)
            keys[side] = shadow.strip(side)->pixels().cacheKey();
        return keys;
    }

    static bool anyRed(const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qRed(image.pixel(x, y)) > 0) return true;
            }
        }
        return false;
    }

    bool supported = true;
    std::vector<QString> logged;
    std::vector<platform::Message> boxes;
    std::unique_ptr<CountingWindow> window;
};

TEST_F(ShadowTest, StripsSitAroundTheWindow) {
    auto shadow = attachAndShow();
    const std::map<StripSide, QRect> expected = {
        {StripSide::Right, {837, 93, 7, 542}},
        {StripSide::Bottom, {93, 628, 744, 7}},
        {StripSide::Left, {93, 100, 7, 528}},
        {StripSide::Top, {93, 93, 744, 7}},
    };
    for (const auto& [side, rect] : expected) {
        const StripWindow* strip = shadow->strip(side);
        ASSERT_NE(strip, nullptr) << nameOf(side);
        EXPECT_EQ(strip->geometry(), rect) << nameOf(side);
        EXPECT_TRUE(strip->isVisible()) << nameOf(side);
        EXPECT_EQ(strip->pixels().size(), rect.size()) << nameOf(side);
        EXPECT_EQ(strip->opacity(), 50) << nameOf(side);
    }
    EXPECT_TRUE(shadow->stripsShown());
}

TEST_F(ShadowTest, StripsNeverTakeInputOrFocus) {
    auto shadow = attachAndShow();
    for (StripSide side : viewer::kStripSides) {
        const StripWindow* strip = shadow->strip(side);
        const Qt::WindowFlags flags = strip->windowFlags();
        for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowDoesNotAcceptFocus,
                                    Qt::WindowTransparentForInput}) {
            EXPECT_TRUE(flags.testFlag(flag)) << nameOf(side) << " flag " << flag;
        }
        for (Qt::WidgetAttribute attribute :
             {Qt::WA_TranslucentBackground, Qt::WA_ShowWithoutActivating}) {
            EXPECT_TRUE(strip->testAttribute(attribute))
                << nameOf(side) << " attribute " << attribute;
        }
        EXPECT_EQ(strip->parentWidget(), window.get()) << nameOf(side) << " is owned by the window";
        EXPECT_EQ(strip->focusPolicy(), Qt::NoFocus) << nameOf(side);
    }
}

TEST_F(ShadowTest, StripsShowThePremultipliedShadowColour) {
    auto shadow = attachAndShow();
    shadow->setColor(Qt::red);
    StripWindow* left = shadow->strip(StripSide::Left);
    ASSERT_EQ(left->pixels().size(), QSize(7, 528));
    const int expectedAlpha[] = {0, 36, 72, 109, 145, 182, 218};  // outermost to the window
    for (int x = 0; x < 7; ++x) {
        const QRgb pixel = left->pixels().pixel(x, 200);
        EXPECT_EQ(qAlpha(pixel), expectedAlpha[x]) << "column " << x;
        EXPECT_EQ(qRed(pixel), expectedAlpha[x]) << "column " << x;
        EXPECT_EQ(qGreen(pixel), 0) << "column " << x;
        EXPECT_EQ(qBlue(pixel), 0) << "column " << x;
    }
    // What the strip paints carries the constant opacity on top.
    const QImage shown =
        left->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(shown.size(), QSize(7, 528));
    for (int x = 0; x < 7; ++x) {
        EXPECT_NEAR(qAlpha(shown.pixel(x, 200)), expectedAlpha[x] * 50 / 255.0, 1.0)
            << "column " << x;
    }
}

TEST_F(ShadowTest, WindowChangesMoveTheStripsAndRedrawOnlyWhatTheNewSizeNeeds) {
    struct Case {
        const char* name;
        QRect newGeometry;
        std::map<StripSide, bool> redrawn;
    };
    const Case cases[] = {
        {"move",
         {200, 150, 737, 528},
         {{StripSide::Right, false},
          {StripSide::Bottom, false},
          {StripSide::Left, false},
          {StripSide::Top, false}}},
        {"width change",
         {200, 150, 600, 528},
         {{StripSide::Right, false},
          {StripSide::Bottom, true},
          {StripSide::Left, false},
          {StripSide::Top, true}}},
        {"height change",
         {200, 150, 600, 400},
         {{StripSide::Right, true},
          {StripSide::Bottom, false},
          {StripSide::Left, true},
          {StripSide::Top, false}}},
        {"both",
         {210, 160, 700, 500},
         {{StripSide::Right, true},
          {StripSide::Bottom, true},
          {StripSide::Left, true},
          {StripSide::Top, true}}},
        {"move off the screen's top left",
         {-300, -50, 700, 500},
         {{StripSide::Right, false},
          {StripSide::Bottom, false},
          {StripSide::Left, false},
          {StripSide::Top, false}}},
    };
    auto shadow = attachAndShow();
    for (const Case& c : cases) {
        const auto before = drawings(*shadow);
        window->setGeometry(c.newGeometry);
        QCoreApplication::processEvents();
        const auto after = drawings(*shadow);
        for (StripSide side : viewer::kStripSides) {
            EXPECT_EQ(after.at(side) != before.at(side), c.redrawn.at(side))
                << c.name << ", " << nameOf(side);
            EXPECT_EQ(shadow->strip(side)->geometry(), viewer::stripRect(side, c.newGeometry, 7))
                << c.name << ", " << nameOf(side);
            EXPECT_EQ(shadow->strip(side)->pixels().size(),
                      viewer::stripRect(side, c.newGeometry, 7).size())
                << c.name << ", " << nameOf(side);
        }
    }
}

TEST_F(ShadowTest, PropertyChangesRedrawAllOnlyWhenTheyChangeSomething) {
    struct Case {
        const char* name;
        std::function<void(WindowShadow&)> change;
        bool redrawn;
    };
    const Case cases[] = {
        {"same depth", [](WindowShadow& s) { s.setDepth(7); }, false},
        {"new depth", [](WindowShadow& s) { s.setDepth(9); }, true},
        {"depth zero is refused", [](WindowShadow& s) { s.setDepth(0); }, false},
        {"negative depth is refused", [](WindowShadow& s) { s.setDepth(-3); }, false},
        {"same colour", [](WindowShadow& s) { s.setColor(Qt::black); }, false},
        {"new colour", [](WindowShadow& s) { s.setColor(QColor(48, 32, 16)); }, true},
        {"colour differs only in its alpha",
         [](WindowShadow& s) { s.setColor(QColor(48, 32, 16, 9)); }, false},
        {"same opacity", [](WindowShadow& s) { s.setOpacity(50); }, false},
        {"new opacity", [](WindowShadow& s) { s.setOpacity(200); }, true},
        {"opacity above 255 is 255", [](WindowShadow& s) { s.setOpacity(1000); }, true},
        {"and 255 again", [](WindowShadow& s) { s.setOpacity(255); }, false},
    };
    auto shadow = attachAndShow();
    for (const Case& c : cases) {
        const auto before = drawings(*shadow);
        c.change(*shadow);
        const auto after = drawings(*shadow);
        for (StripSide side : viewer::kStripSides) {
            EXPECT_EQ(after.at(side) != before.at(side), c.redrawn)
                << c.name << ", " << nameOf(side);
        }
    }
    EXPECT_EQ(shadow->strip(StripSide::Right)->geometry(), QRect(837, 91, 9, 546));
    EXPECT_EQ(shadow->strip(StripSide::Left)->pixels().size(), QSize(9, 528));
    EXPECT_EQ(shadow->strip(StripSide::Top)->opacity(), 255);
    EXPECT_EQ(shadow->strip(StripSide::Top)->pixels().pixel(400, 8), qRgba(48, 32, 16, 255))
        << "the new colour, next to the window";
}

TEST_F(ShadowTest, ChangesWhileHiddenShowOnTheNextShow) {
    auto shadow = attachAndShow();
    window->hide();
    QCoreApplication::processEvents();
    EXPECT_FALSE(shadow->stripsShown());
    EXPECT_FALSE(shadow->strip(StripSide::Left)->isVisible());
    const qint64 hiddenLook = shadow->strip(StripSide::Left)->pixels().cacheKey();
    shadow->setColor(Qt::red);
    EXPECT_EQ(shadow->strip(StripSide::Left)->pixels().cacheKey(), hiddenLook)
        << "nothing drawn while hidden";
    window->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shadow->strip(StripSide::Left)->isVisible());
    for (StripSide side : viewer::kStripSides) {
        EXPECT_TRUE(anyRed(shadow->strip(side)->pixels()))
            << nameOf(side) << " still shows the colour from before";
    }
}

TEST_F(ShadowTest, HideShowMinimiseAndRestore) {
    // On X11 a minimised window is unmapped: it gets a hide event while it
    // still counts as visible, and a show event when it comes back.
    struct Step {
        const char* name;
        std::function<void(QWidget&)> action;
        bool shown;
    };
    const auto send = [](QEvent::Type type) {
        return [type](QWidget& w) {
            QEvent event(type);
            QCoreApplication::sendEvent(&w, &event);
        };
    };
    // The window system reports a new state; coming from maximised, Qt adds
    // no show or hide event of its own.
    const auto stateChanged = [](QWidget& w) {
        QWindowStateChangeEvent event(Qt::WindowMaximized);
        QCoreApplication::sendEvent(&w, &event);
    };
    const Step steps[] = {
        {"restored while shown", [](QWidget& w) { w.setWindowState(Qt::WindowNoState); }, true},
        {"unmapped by the window system", send(QEvent::Hide), false},
        {"its state changes to restored", stateChanged, true},
        {"unmapped again", send(QEvent::Hide), false},
        {"minimised", [](QWidget& w) { w.setWindowState(Qt::WindowMinimized); }, false},
        {"its state changes to minimised", stateChanged, false},
        {"restored", [](QWidget& w) { w.setWindowState(Qt::WindowNoState); }, true},
        {"unmapped once more", send(QEvent::Hide), false},
        {"maximised", [](QWidget& w) { w.setWindowState(Qt::WindowMaximized); }, false},
        {"its state changes to maximised", stateChanged, false},
        {"mapped again", send(QEvent::Show), true},
        {"hidden", [](QWidget& w) { w.hide(); }, false},
        {"restored while hidden", [](QWidget& w) { w.setWindowState(Qt::WindowNoState); }, false},
        {"its state changes while hidden", stateChanged, false},
        {"shown", [](QWidget& w) { w.show(); }, true},
    };
    auto shadow = attachAndShow();
    for (const Step& step : steps) {
        step.action(*window);
        QCoreApplication::processEvents();
        EXPECT_EQ(shadow->stripsShown(), step.shown) << step.name;
        for (StripSide side : viewer::kStripSides) {
            EXPECT_EQ(shadow->strip(side)->isVisible(), step.shown)
                << step.name << ", " << nameOf(side);
        }
    }
}

TEST_F(ShadowTest, TheWindowStillGetsEveryEvent) {
    auto shadow = attachAndShow();
    window->seen.clear();
    window->move(300, 200);
    window->resize(600, 400);
    window->hide();
    window->show();
    QCoreApplication::processEvents();
    for (QEvent::Type type : {QEvent::Move, QEvent::Resize, QEvent::Hide, QEvent::Show}) {
        EXPECT_GE(window->seen[type], 1) << "event type " << type;
    }
    EXPECT_EQ(window->geometry(), QRect(300, 200, 600, 400));
}

TEST_F(ShadowTest, UnsupportedDisplayGivesNoShadowAndNoReport) {
    supported = false;
    WindowShadow shadow;
    EXPECT_FALSE(shadow.attach(window.get()));
    shadow.setDepth(5);
    shadow.setOpacity(50);
    EXPECT_EQ(shadow.depth(), 5);
    EXPECT_EQ(shadow.opacity(), 50);
    window->show();
    window->move(300, 300);
    QCoreApplication::processEvents();
    for (StripSide side : viewer::kStripSides)
        EXPECT_EQ(shadow.strip(side), nullptr) << nameOf(side);
    EXPECT_TRUE(window->findChildren<StripWindow*>().isEmpty());
    EXPECT_TRUE(logged.empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window->pos(), QPoint(300, 300)) << "the window works without a shadow";
}

TEST_F(ShadowTest, HeadlessDisplayCannotShowTheShadow) {
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) GTEST_SKIP();
    WindowShadow::setTranslucencyProbe(nullptr);
    WindowShadow shadow;
    EXPECT_FALSE(shadow.supported());
    EXPECT_FALSE(shadow.attach(window.get()));
    EXPECT_TRUE(logged.empty());
}

TEST_F(ShadowTest, MisuseIsReported) {
    struct Case {
        const char* name;
        bool attachFirst;
        QWidget* second;
        const char* logText;
        const char* boxText;
    };
    QWidget other;
    const Case cases[] = {
        {"a second window", true, &other,
         "WindowShadow.attach: Only a single form per cShadow instance is allowed",
         "Only a single form per cShadow instance is allowed."},
        {"no window", false, nullptr, "WindowShadow.attach: Invalid window handle",
         "Invalid window handle."},
    };
    for (const Case& c : cases) {
        logged.clear();
        boxes.clear();
        WindowShadow shadow;
        if (c.attachFirst) {
            ASSERT_TRUE(shadow.attach(window.get())) << c.name;
        }
        EXPECT_FALSE(shadow.attach(c.second)) << c.name;
        ASSERT_EQ(logged.size(), 1u) << c.name;
        EXPECT_EQ(logged[0], c.logText) << c.name;
        ASSERT_EQ(boxes.size(), 1u) << c.name;
        EXPECT_EQ(boxes[0].caption, "Error in WindowShadow.attach") << c.name;
        EXPECT_EQ(boxes[0].text, c.boxText) << c.name;
        EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Warning) << c.name;
        EXPECT_TRUE(other.findChildren<StripWindow*>().isEmpty()) << c.name;
    }
}

TEST_F(ShadowTest, AfterAMisuseTheFirstWindowKeepsItsShadow) {
    auto shadow = attachAndShow();
    QWidget other;
    EXPECT_FALSE(shadow->attach(&other));
    window->move(300, 250);
    QCoreApplication::processEvents();
    EXPECT_EQ(shadow->strip(StripSide::Left)->geometry(), QRect(293, 250, 7, 528));

    WindowShadow unbound;
    EXPECT_FALSE(unbound.attach(nullptr));
    EXPECT_TRUE(unbound.attach(&other)) << "no window was bound";
}

TEST_F(ShadowTest, DisplayLosingAndRegainingTranslucency) {
    auto shadow = attachAndShow();
    QScreen* screen = QGuiApplication::primaryScreen();
    QPointer<StripWindow> oldRight = shadow->strip(StripSide::Right);
    supported = false;
    emit screen->geometryChanged(screen->geometry());
    EXPECT_FALSE(oldRight) << "strips go when the display can no longer show them";
    EXPECT_TRUE(window->findChildren<StripWindow*>().isEmpty());
    window->move(150, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->pos(), QPoint(150, 150));
    supported = true;
    emit qGuiApp->primaryScreenChanged(screen);
    for (StripSide side : viewer::kStripSides) {
        const StripWindow* strip = shadow->strip(side);
        ASSERT_NE(strip, nullptr) << nameOf(side);
        EXPECT_TRUE(strip->isVisible()) << nameOf(side);
        EXPECT_EQ(strip->geometry(), viewer::stripRect(side, QRect(150, 150, 737, 528), 7))
            << nameOf(side);
        EXPECT_EQ(strip->pixels().size(), strip->geometry().size()) << nameOf(side);
    }
}

TEST_F(ShadowTest, ThemeAndPaletteChangesRedrawAll) {
    auto shadow = attachAndShow();
    const auto before = drawings(*shadow);
    QEvent themeChange(QEvent::ThemeChange);
    QCoreApplication::sendEvent(window.get(), &themeChange);
    const auto afterTheme = drawings(*shadow);
    const QPalette original = QApplication::palette();
    QPalette palette = original;
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
    const auto afterPalette = drawings(*shadow);
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    for (StripSide side : viewer::kStripSides) {
        EXPECT_NE(afterTheme.at(side), before.at(side)) << "theme, " << nameOf(side);
        EXPECT_NE(afterPalette.at(side), afterTheme.at(side)) << "palette, " << nameOf(side);
    }
}

TEST_F(ShadowTest, DestroyingTheShadowTakesTheStripsAndLeavesTheWindow) {
    auto shadow = attachAndShow();
    QPointer<StripWindow> right = shadow->strip(StripSide::Right);
    QPointer<StripWindow> top = shadow->strip(StripSide::Top);
    shadow.reset();
    EXPECT_FALSE(right);
    EXPECT_FALSE(top);
    window->setGeometry(120, 130, 500, 400);
    window->hide();
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->geometry(), QRect(120, 130, 500, 400));
    EXPECT_TRUE(window->findChildren<StripWindow*>().isEmpty());
}

TEST_F(ShadowTest, WindowDestroyedBeforeTheShadow) {
    auto shadow = attachAndShow();
    window.reset();
    for (StripSide side : viewer::kStripSides)
        EXPECT_EQ(shadow->strip(side), nullptr) << nameOf(side);
    shadow->setDepth(4);  // nothing left to draw into
    EXPECT_EQ(shadow->depth(), 4);
    QScreen* screen = QGuiApplication::primaryScreen();
    supported = false;
    emit screen->geometryChanged(screen->geometry());
    supported = true;
    emit screen->geometryChanged(screen->geometry());
    EXPECT_EQ(shadow->strip(StripSide::Left), nullptr) << "no strips for a window that is gone";
}

}  // namespace
