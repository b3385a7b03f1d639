#include "platform/runtime.h"
#include "shadow/cls_shadow.h"
#include "shadow/window_messages.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

using shadow::Strip;

const char* NameOf(Strip strip) {
    constexpr const char* kNames[] = {"right", "bottom", "left", "top"};
    return kNames[static_cast<int>(strip)];
}

class ShadowTest : public ::testing::Test {
protected:
    void SetUp() override {
        supported = true;
        clsShadow::SetSupportProbe([this] { return supported; });
        platform::SetEventLogHandler([this](const QString& text) { logged.push_back(text); });
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
            boxes.push_back(request);
            return static_cast<int>(platform::vbOK);
        });
        form = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        form->setGeometry(100, 100, 737, 528);
    }
    void TearDown() override {
        clsShadow::SetSupportProbe(nullptr);
        platform::SetEventLogHandler(nullptr);
        platform::SetMessageBoxHandler(nullptr);
    }

    // The shadow as the main window attaches it, then the form shown.
    std::unique_ptr<clsShadow> AttachAndShow() {
        auto shadow = std::make_unique<clsShadow>();
        EXPECT_TRUE(shadow->Shadow(form.get()));
        shadow->SetDepth(7);
        shadow->SetColor(0);
        shadow->SetTransparency(50);
        form->show();
        QCoreApplication::processEvents();
        return shadow;
    }

    std::map<Strip, int> RenderCounts(const clsShadow& shadow) const {
        std::map<Strip, int> counts;
        for (Strip strip : shadow::kAllStrips) counts[strip] = shadow.strip(strip)->renderCount();
        return counts;
    }

    bool supported = true;
    std::vector<QString> logged;
    std::vector<platform::MessageBoxRequest> boxes;
    std::unique_ptr<QWidget> form;
};

TEST_F(ShadowTest, Defaults) {
    clsShadow shadow;
    EXPECT_EQ(shadow.Depth(), 7);
    EXPECT_EQ(shadow.Transparency(), 140);
    EXPECT_EQ(shadow.Color(), 0u);
}

TEST_F(ShadowTest, StripsSitAroundTheForm) {
    auto shadow = AttachAndShow();
    const std::map<Strip, QRect> expected = {
        {Strip::Right, {837, 93, 7, 542}},
        {Strip::Bottom, {93, 628, 744, 7}},
        {Strip::Left, {93, 100, 7, 528}},
        {Strip::Top, {93, 93, 744, 7}},
    };
    for (const auto& [strip, rect] : expected) {
        const shadow::StripWindow* window = shadow->strip(strip);
        ASSERT_NE(window, nullptr) << NameOf(strip);
        EXPECT_EQ(window->geometry(), rect) << NameOf(strip);
        EXPECT_TRUE(window->isVisible()) << NameOf(strip);
        EXPECT_EQ(window->pixels().size(), rect.size()) << NameOf(strip);
        EXPECT_EQ(window->constantOpacity(), 50) << NameOf(strip);
    }
    EXPECT_TRUE(shadow->stripsShown());
}

TEST_F(ShadowTest, StripsNeverTakeInputOrFocus) {
    auto shadow = AttachAndShow();
    for (Strip strip : shadow::kAllStrips) {
        const shadow::StripWindow* window = shadow->strip(strip);
        const Qt::WindowFlags flags = window->windowFlags();
        for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowDoesNotAcceptFocus,
                                    Qt::WindowTransparentForInput}) {
            EXPECT_TRUE(flags.testFlag(flag)) << NameOf(strip) << " flag " << flag;
        }
        for (Qt::WidgetAttribute attribute :
             {Qt::WA_TranslucentBackground, Qt::WA_ShowWithoutActivating}) {
            EXPECT_TRUE(window->testAttribute(attribute)) << NameOf(strip) << " attribute " << attribute;
        }
        EXPECT_EQ(window->parentWidget(), form.get()) << NameOf(strip) << " is owned by the form";
        EXPECT_EQ(window->focusPolicy(), Qt::NoFocus) << NameOf(strip);
    }
}

TEST_F(ShadowTest, StripsShowThePremultipliedShadowColour) {
    auto shadow = AttachAndShow();
    shadow->SetColor(0x000000FF);  // red
    shadow::StripWindow* left = shadow->strip(Strip::Left);
    ASSERT_EQ(left->pixels().size(), QSize(7, 528));
    const int expectedAlpha[] = {0, 36, 72, 109, 145, 182, 218};  // outermost to the form
    for (int x = 0; x < 7; ++x) {
        const QRgb pixel = left->pixels().pixel(x, 200);
        EXPECT_EQ(qAlpha(pixel), expectedAlpha[x]) << "column " << x;
        EXPECT_EQ(qRed(pixel), expectedAlpha[x]) << "column " << x;
        EXPECT_EQ(qGreen(pixel), 0) << "column " << x;
        EXPECT_EQ(qBlue(pixel), 0) << "column " << x;
    }
    // What the strip paints carries the constant opacity on top.
    const QImage shown = left->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(shown.size(), QSize(7, 528));
    for (int x = 0; x < 7; ++x) {
        EXPECT_NEAR(qAlpha(shown.pixel(x, 200)), expectedAlpha[x] * 50 / 255.0, 1.0) << "column " << x;
    }
}

TEST_F(ShadowTest, RedrawOnlyWhatTheNewSizeNeeds) {
    struct Case {
        const char* name;
        QRect newGeometry;
        std::map<Strip, int> redraws;
    };
    const Case cases[] = {
        {"move", {200, 150, 737, 528}, {{Strip::Right, 0}, {Strip::Bottom, 0}, {Strip::Left, 0}, {Strip::Top, 0}}},
        {"width change", {200, 150, 600, 528}, {{Strip::Right, 0}, {Strip::Bottom, 1}, {Strip::Left, 0}, {Strip::Top, 1}}},
        {"height change", {200, 150, 600, 400}, {{Strip::Right, 1}, {Strip::Bottom, 0}, {Strip::Left, 1}, {Strip::Top, 0}}},
        {"both", {210, 160, 700, 500}, {{Strip::Right, 1}, {Strip::Bottom, 1}, {Strip::Left, 1}, {Strip::Top, 1}}},
        {"move back", {100, 100, 700, 500}, {{Strip::Right, 0}, {Strip::Bottom, 0}, {Strip::Left, 0}, {Strip::Top, 0}}},
    };
    auto shadow = AttachAndShow();
    for (const Case& c : cases) {
        const auto before = RenderCounts(*shadow);
        form->setGeometry(c.newGeometry);
        QCoreApplication::processEvents();
        const auto after = RenderCounts(*shadow);
        for (Strip strip : shadow::kAllStrips) {
            EXPECT_EQ(after.at(strip) - before.at(strip), c.redraws.at(strip)) << c.name << ", " << NameOf(strip);
            EXPECT_EQ(shadow->strip(strip)->geometry(), shadow::StripRect(strip, c.newGeometry, 7))
                << c.name << ", " << NameOf(strip);
        }
    }
}

TEST_F(ShadowTest, PropertyChangesRedrawAllOnlyWhenTheyChangeSomething) {
    struct Case {
        const char* name;
        std::function<void(clsShadow&)> change;
        int redraws;  // per strip
    };
    const Case cases[] = {
        {"same depth", [](clsShadow& s) { s.SetDepth(7); }, 0},
        {"new depth", [](clsShadow& s) { s.SetDepth(9); }, 1},
        {"depth zero is refused", [](clsShadow& s) { s.SetDepth(0); }, 0},
        {"negative depth is refused", [](clsShadow& s) { s.SetDepth(-3); }, 0},
        {"same colour", [](clsShadow& s) { s.SetColor(0); }, 0},
        {"new colour", [](clsShadow& s) { s.SetColor(0x00102030); }, 1},
        {"colour differs only in the flag byte", [](clsShadow& s) { s.SetColor(0x00102030); }, 0},
        {"same transparency", [](clsShadow& s) { s.SetTransparency(50); }, 0},
        {"new transparency", [](clsShadow& s) { s.SetTransparency(200); }, 1},
    };
    auto shadow = AttachAndShow();
    for (const Case& c : cases) {
        const auto before = RenderCounts(*shadow);
        c.change(*shadow);
        const auto after = RenderCounts(*shadow);
        for (Strip strip : shadow::kAllStrips) {
            EXPECT_EQ(after.at(strip) - before.at(strip), c.redraws) << c.name << ", " << NameOf(strip);
        }
    }
    EXPECT_EQ(shadow->Depth(), 9);
    EXPECT_EQ(shadow->strip(Strip::Right)->geometry(), QRect(837, 91, 9, 546));
    EXPECT_EQ(shadow->strip(Strip::Left)->pixels().size(), QSize(9, 528));
}

TEST_F(ShadowTest, SystemColourIsResolvedWhenSet) {
    auto shadow = AttachAndShow();
    const std::uint32_t windowText = platform::kSystemColorFlag | 8;
    shadow->SetColor(windowText);
    EXPECT_EQ(shadow->Color(), platform::ResolveColor(windowText));
    EXPECT_FALSE(platform::IsSystemColor(shadow->Color()));
    const int renders = shadow->strip(Strip::Top)->renderCount();
    shadow->SetColor(platform::ResolveColor(windowText));
    EXPECT_EQ(shadow->strip(Strip::Top)->renderCount(), renders) << "compared after resolving";
}

TEST_F(ShadowTest, ChangesWhileHiddenShowOnTheNextShow) {
    auto shadow = AttachAndShow();
    form->hide();
    QCoreApplication::processEvents();
    EXPECT_FALSE(shadow->stripsShown());
    EXPECT_FALSE(shadow->strip(Strip::Left)->isVisible());
    const int renders = shadow->strip(Strip::Left)->renderCount();
    shadow->SetColor(0x000000FF);
    EXPECT_EQ(shadow->strip(Strip::Left)->renderCount(), renders) << "nothing drawn while hidden";
    form->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shadow->strip(Strip::Left)->isVisible());
    for (Strip strip : shadow::kAllStrips) {
        const QImage& pixels = shadow->strip(strip)->pixels();
        bool anyRed = false;
        for (int y = 0; y < pixels.height(); ++y) {
            for (int x = 0; x < pixels.width(); ++x) anyRed = anyRed || qRed(pixels.pixel(x, y)) > 0;
        }
        EXPECT_TRUE(anyRed) << NameOf(strip) << " still shows the colour from before the change";
    }
}

TEST_F(ShadowTest, MinimiseAndRestoreFollowTheForm) {
    auto shadow = AttachAndShow();
    // A restore while the strips are marked shown changes nothing.
    shadow::SendWindowMessage(form->winId(), shadow::WM_SIZE, shadow::SIZE_RESTORED, 0);
    EXPECT_TRUE(shadow->stripsShown());
    form->hide();
    QCoreApplication::processEvents();
    ASSERT_FALSE(shadow->stripsShown());
    shadow::SendWindowMessage(form->winId(), shadow::WM_SIZE, shadow::SIZE_MINIMIZED, 0);
    EXPECT_FALSE(shadow->stripsShown()) << "other size types are ignored";
    shadow::SendWindowMessage(form->winId(), shadow::WM_SIZE, shadow::SIZE_RESTORED, 0);
    EXPECT_FALSE(shadow->stripsShown()) << "a hidden form gets no strips";
    form->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shadow->stripsShown());
    EXPECT_TRUE(shadow->strip(Strip::Bottom)->isVisible());
}

TEST_F(ShadowTest, UnsupportedDisplayGivesNoShadowAndNoReport) {
    supported = false;
    clsShadow shadow;
    EXPECT_FALSE(shadow.Shadow(form.get()));
    for (Strip strip : shadow::kAllStrips) EXPECT_EQ(shadow.strip(strip), nullptr);
    shadow.SetDepth(5);
    shadow.SetTransparency(50);
    EXPECT_EQ(shadow.Depth(), 5);
    EXPECT_EQ(shadow.Transparency(), 50);
    EXPECT_TRUE(logged.empty());
    EXPECT_TRUE(boxes.empty());
    form->show();
    form->move(300, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->pos(), QPoint(300, 300)) << "the form works without a shadow";
}

TEST_F(ShadowTest, HeadlessDisplayCannotShowTheShadow) {
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) GTEST_SKIP();
    clsShadow::SetSupportProbe(nullptr);
    clsShadow shadow;
    EXPECT_FALSE(shadow.supported());
    EXPECT_FALSE(shadow.Shadow(form.get()));
    EXPECT_TRUE(logged.empty());
}

TEST_F(ShadowTest, SecondShadowCallIsReported) {
    auto shadow = AttachAndShow();
    QWidget other;
    EXPECT_FALSE(shadow->Shadow(&other));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "clsShadow.Shadow: Only a single form per cShadow instance is allowed");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error in clsShadow.Shadow");
    EXPECT_EQ(boxes[0].text, "Only a single form per cShadow instance is allowed.");
    EXPECT_EQ(boxes[0].style, platform::vbExclamation);
    form->move(300, 250);
    QCoreApplication::processEvents();
    EXPECT_EQ(shadow->strip(Strip::Left)->geometry(), QRect(293, 250, 7, 528)) << "the first binding stays";
}

TEST_F(ShadowTest, DisplayLosingAndRegainingTranslucency) {
    auto shadow = AttachAndShow();
    QPointer<shadow::StripWindow> oldRight = shadow->strip(Strip::Right);
    supported = false;
    shadow::BroadcastDisplayChange();
    EXPECT_FALSE(oldRight) << "strips go when the display can no longer show them";
    form->move(150, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->pos(), QPoint(150, 150));
    supported = true;
    shadow::BroadcastDisplayChange();
    for (Strip strip : shadow::kAllStrips) {
        const shadow::StripWindow* window = shadow->strip(strip);
        ASSERT_NE(window, nullptr) << NameOf(strip);
        EXPECT_TRUE(window->isVisible()) << NameOf(strip);
        EXPECT_EQ(window->geometry(), shadow::StripRect(strip, QRect(150, 150, 737, 528), 7)) << NameOf(strip);
        EXPECT_GE(window->renderCount(), 1) << NameOf(strip);
    }
}

TEST_F(ShadowTest, ThemeChangeRedrawsAll) {
    auto shadow = AttachAndShow();
    const auto before = RenderCounts(*shadow);
    QEvent themeChange(QEvent::ThemeChange);
    QCoreApplication::sendEvent(form.get(), &themeChange);
    const auto after = RenderCounts(*shadow);
    for (Strip strip : shadow::kAllStrips) EXPECT_EQ(after.at(strip) - before.at(strip), 1) << NameOf(strip);
}

TEST_F(ShadowTest, DestroyingTheShadowTakesTheStripsAndLeavesTheForm) {
    auto shadow = AttachAndShow();
    QPointer<shadow::StripWindow> right = shadow->strip(Strip::Right);
    QPointer<shadow::StripWindow> top = shadow->strip(Strip::Top);
    shadow.reset();
    EXPECT_FALSE(right);
    EXPECT_FALSE(top);
    form->setGeometry(120, 130, 500, 400);
    form->hide();
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->geometry(), QRect(120, 130, 500, 400));
}

TEST_F(ShadowTest, FormDestroyedBeforeTheShadow) {
    auto shadow = AttachAndShow();
    form.reset();
    for (Strip strip : shadow::kAllStrips) EXPECT_EQ(shadow->strip(strip), nullptr) << NameOf(strip);
    shadow->SetDepth(4);  // nothing left to draw into
    EXPECT_EQ(shadow->Depth(), 4);
}

TEST_F(ShadowTest, NoFormIsAnInvalidHandle) {
    clsShadow shadow;
    EXPECT_FALSE(shadow.Shadow(nullptr));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "clsShadow.sc_Subclass: Invalid window handle");
    EXPECT_TRUE(shadow.Shadow(form.get())) << "nothing was bound";
}

}  // namespace
