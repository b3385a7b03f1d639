#include "platform/runtime.h"
#include "shadow/message_interceptor.h"
#include "shadow/window_messages.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using shadow::ALL_MESSAGES;
using shadow::InterceptionRecord;
using shadow::MessageInterceptor;
using shadow::MessageTable;
using shadow::MSG_AFTER;
using shadow::MSG_BEFORE;

constexpr std::uint32_t kUserMessage = 0x0400;
constexpr std::uint32_t kNestedMessage = 0x0401;

struct Call {
    bool before;
    std::uint32_t message;
    shadow::WParam wParam;
    shadow::WindowPos pos;  // copied for WM_WINDOWPOSCHANGED
    std::int32_t userValue;
};

// Records every call; `react` may handle a message or act inside the call.
class RecordingOwner : public shadow::SubclassCallback {
public:
    void WindowProc(bool before, bool& handled, shadow::LResult& result, WId, std::uint32_t message,
                    shadow::WParam wParam, shadow::LParam lParam, std::int32_t& userValue) override {
        Call call{before, message, wParam, {}, userValue};
        if (message == shadow::WM_WINDOWPOSCHANGED && lParam) {
            call.pos = *reinterpret_cast<const shadow::WindowPos*>(lParam);
        }
        calls.push_back(call);
        if (log) log->push_back(std::string(before ? "before " : "after ") + std::to_string(message));
        if (react) react(before, handled, result, message, userValue);
    }

    std::vector<Call> calls;
    std::vector<std::string>* log = nullptr;
    std::function<void(bool, bool&, shadow::LResult&, std::uint32_t, std::int32_t&)> react;
};

// A window that notes what reaches its own handling.
class RecordingWindow : public QWidget {
public:
    std::vector<std::string>* log = nullptr;
    int moves = 0;
    std::function<void(shadow::WindowMessageEvent&)> onMessage;

protected:
    bool event(QEvent* event) override {
        if (event->type() == shadow::WindowMessageEvent::eventType()) {
            auto& message = static_cast<shadow::WindowMessageEvent&>(*event);
            if (log) log->push_back("window " + std::to_string(message.message));
            if (onMessage) onMessage(message);
            return true;
        }
        if (event->type() == QEvent::Move) ++moves;
        return QWidget::event(event);
    }
};

struct Report {
    QString log;
    QString caption;
    QString text;
    int style;
};

class Interception : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetEventLogHandler([this](const QString& text) { logged.push_back(text); });
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
            boxes.push_back({QString(), request.caption, request.text, request.style});
            return static_cast<int>(platform::vbOK);
        });
        window = std::make_unique<RecordingWindow>();
        window->setWindowFlags(Qt::FramelessWindowHint);
        window->setGeometry(100, 100, 200, 150);
        window->show();
        id = window->winId();
    }
    void TearDown() override {
        platform::SetEventLogHandler(nullptr);
        platform::SetMessageBoxHandler(nullptr);
    }

    std::vector<Report> Reports() const {
        std::vector<Report> reports;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            Report report = boxes[i];
            if (i < logged.size()) report.log = logged[i];
            reports.push_back(report);
        }
        return reports;
    }

    std::vector<QString> logged;
    std::vector<Report> boxes;
    RecordingOwner owner;
    std::unique_ptr<RecordingWindow> window;
    WId id = 0;
};

TEST(MessageTableRules, Slots) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> adds;    // applied first
        std::vector<std::int32_t> removes;  // then these
        std::vector<std::int32_t> thenAdds;
        std::int32_t expectedCount;
        std::vector<std::int32_t> watched;
        std::vector<std::int32_t> notWatched;
    };
    std::vector<std::int32_t> thirtyTwo;
    for (int m = 1; m <= 32; ++m) thirtyTwo.push_back(m * 16);
    auto thirtyThree = thirtyTwo;
    thirtyThree.push_back(0x31A);
    const Case cases[] = {
        {"empty table watches nothing", {}, {}, {}, 0, {}, {0x47, 5}},
        {"the same message twice keeps one slot", {0x47, 0x47}, {}, {}, 1, {0x47}, {5}},
        {"messages fill slots in order", {0x47, 5, 0x7E}, {}, {}, 3, {0x47, 5, 0x7E}, {0x31A}},
        {"thirty-two messages fit", thirtyTwo, {}, {}, 32, {16, 512}, {0x31A}},
        {"a thirty-third is refused", thirtyThree, {}, {}, 32, {16, 512}, {0x31A}},
        {"all messages", {ALL_MESSAGES}, {}, {}, ALL_MESSAGES, {0x47, 1, 0x7FFF}, {}},
        {"a message after all keeps all", {ALL_MESSAGES, 0x47}, {}, {}, ALL_MESSAGES, {5, 0x47}, {}},
        {"clearing empties the table", {0x47, 5}, {ALL_MESSAGES}, {}, 0, {}, {0x47, 5}},
        {"clearing then adding starts at slot one", {0x47, 5}, {ALL_MESSAGES}, {0x7E}, 1, {0x7E},
         {0x47, 5}},
        {"a removed message leaves a free slot", {1, 2, 3}, {2}, {}, 3, {1, 3}, {2}},
        {"a free slot is reused", {1, 2, 3}, {2}, {9}, 3, {1, 3, 9}, {2}},
        {"re-adding a present message does not fill a free slot", {1, 2, 3}, {2}, {3}, 3, {1, 3},
         {2}},
        {"a free slot of a full table is reused", thirtyTwo, {48}, {0x31A}, 32, {0x31A, 16}, {48}},
    };
    for (const Case& c : cases) {
        MessageTable table;
        for (auto m : c.adds) table.Add(m);
        for (auto m : c.removes) table.Remove(m);
        for (auto m : c.thenAdds) table.Add(m);
        EXPECT_EQ(table.count, c.expectedCount) << c.name;
        for (auto m : c.watched) EXPECT_TRUE(table.Watches(static_cast<std::uint32_t>(m))) << c.name << ": " << m;
        for (auto m : c.notWatched) EXPECT_FALSE(table.Watches(static_cast<std::uint32_t>(m))) << c.name << ": " << m;
        if (std::string(c.name) == "a free slot is reused") {
            EXPECT_EQ(table.entries[1], 9) << c.name;
        }
    }
}

TEST(MessageTableRules, AddResults) {
    MessageTable table;
    for (int m = 1; m <= 32; ++m) ASSERT_EQ(table.Add(m), MessageTable::AddResult::Added);
    EXPECT_EQ(table.Add(7), MessageTable::AddResult::AlreadyWatched) << "present in a full table";
    EXPECT_EQ(table.Add(33), MessageTable::AddResult::Full);
    EXPECT_EQ(table.Add(ALL_MESSAGES), MessageTable::AddResult::Added) << "all is not limited";
    EXPECT_TRUE(table.Watches(33));
}

TEST_F(Interception, FailuresAreReportedWithTheirTexts) {
    struct Case {
        const char* name;
        std::function<void(WId, MessageInterceptor&)> action;
        const char* routine;
        const char* text;
    };
    const Case cases[] = {
        {"not a window",
         [](WId, MessageInterceptor& i) { EXPECT_FALSE(i.sc_Subclass(WId(0x7FFFFFF0))); },
         "sc_Subclass", "Invalid window handle"},
        {"handle zero", [](WId, MessageInterceptor& i) { EXPECT_FALSE(i.sc_Subclass(0)); },
         "sc_Subclass", "Invalid window handle"},
        {"same window twice",
         [](WId id, MessageInterceptor& i) {
             EXPECT_TRUE(i.sc_Subclass(id));
             EXPECT_FALSE(i.sc_Subclass(id));
         },
         "sc_Subclass", "Window handle is already subclassed"},
        {"end before any start",
         [](WId id, MessageInterceptor& i) { i.sc_UnSubclass(id); }, "sc_UnSubclass",
         "Window handle isn't subclassed"},
        {"map before any start",
         [](WId id, MessageInterceptor& i) { EXPECT_EQ(i.zMap_hWnd(id), nullptr); },
         "zMap_hWnd", "Subclassing hasn't been started"},
        {"watch before any start",
         [](WId id, MessageInterceptor& i) { i.sc_AddWatch(id, 0x47, MSG_BEFORE); },
         "zMap_hWnd", "Subclassing hasn't been started"},
        {"map a window not intercepted",
         [](WId id, MessageInterceptor& i) {
             QWidget other;
             other.show();
             ASSERT_TRUE(i.sc_Subclass(id));
             EXPECT_EQ(i.zMap_hWnd(other.winId()), nullptr);
         },
         "zMap_hWnd", "Window handle isn't subclassed"},
        {"end a window not intercepted",
         [](WId id, MessageInterceptor& i) {
             QWidget other;
             other.show();
             ASSERT_TRUE(i.sc_Subclass(id));
             i.sc_UnSubclass(other.winId());
         },
         "zMap_hWnd", "Window handle isn't subclassed"},
        {"a 33rd message",
         [](WId id, MessageInterceptor& i) {
             ASSERT_TRUE(i.sc_Subclass(id));
             for (int m = 1; m <= 33; ++m) i.sc_AddWatch(id, 0x100 + m, MSG_BEFORE);
             EXPECT_EQ(i.zMap_hWnd(id)->beforeTable().count, 32);
             EXPECT_FALSE(i.zMap_hWnd(id)->beforeTable().Watches(0x100 + 33));
         },
         "zAddMsg",
         "Message table overflow. Either increase the value of Const MSG_ENTRIES or use "
         "ALL_MESSAGES instead of specific message values"},
    };
    for (const Case& c : cases) {
        logged.clear();
        boxes.clear();
        {
            MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
            c.action(id, interceptor);
        }
        const auto reports = Reports();
        ASSERT_EQ(reports.size(), 1u) << c.name;
        ASSERT_EQ(logged.size(), 1u) << c.name;
        const QString routine = QString::fromLatin1(c.routine);
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(reports[0].log, "clsShadow." + routine + ": " + text) << c.name;
        EXPECT_EQ(reports[0].caption, "Error in clsShadow." + routine) << c.name;
        EXPECT_EQ(reports[0].text, text + ".") << c.name;
        EXPECT_EQ(reports[0].style, platform::vbExclamation | platform::vbOKOnly) << c.name;
    }
}

TEST_F(Interception, AnOwnerWithoutCallbackIsRefused) {
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), nullptr);
    EXPECT_FALSE(interceptor.sc_Subclass(id));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "clsShadow.sc_Subclass: Callback method not found");
    RecordingOwner other;
    EXPECT_TRUE(interceptor.sc_Subclass(id, 0, &other)) << "an owner named in the call will do";
}

TEST_F(Interception, RegistryKeyIsHAndTheId) {
    EXPECT_EQ(MessageInterceptor::RegistryKey(1234), QStringLiteral("h1234"));
    EXPECT_EQ(MessageInterceptor::RegistryKey(0), QStringLiteral("h0"));
}

TEST_F(Interception, SecondInterceptionLeavesTheFirstWorking) {
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    interceptor.sc_AddWatch(id, shadow::WM_WINDOWPOSCHANGED, MSG_BEFORE);
    EXPECT_FALSE(interceptor.sc_Subclass(id));
    window->move(140, 120);
    ASSERT_FALSE(owner.calls.empty());
    EXPECT_EQ(owner.calls.back().message, shadow::WM_WINDOWPOSCHANGED);
    EXPECT_EQ(owner.calls.back().pos.x, 140);
    EXPECT_EQ(owner.calls.back().pos.y, 120);
}

TEST_F(Interception, QtEventsBecomePlatformMessages) {
    struct Case {
        const char* name;
        std::function<void(QWidget&)> action;
        std::uint32_t message;
        shadow::WParam wParam;
        std::int32_t flagsSet;  // WM_WINDOWPOSCHANGED only
        QRect placement;        // WM_WINDOWPOSCHANGED only; null: not checked
    };
    const Case cases[] = {
        {"move", [](QWidget& w) { w.move(150, 160); }, shadow::WM_WINDOWPOSCHANGED, 0,
         shadow::SWP_NOSIZE, {150, 160, 200, 150}},
        {"resize", [](QWidget& w) { w.resize(300, 210); }, shadow::WM_WINDOWPOSCHANGED, 0,
         shadow::SWP_NOMOVE, {150, 160, 300, 210}},
        {"hide", [](QWidget& w) { w.hide(); }, shadow::WM_WINDOWPOSCHANGED, 0,
         shadow::SWP_HIDEWINDOW, {150, 160, 300, 210}},
        {"show", [](QWidget& w) { w.show(); }, shadow::WM_WINDOWPOSCHANGED, 0,
         shadow::SWP_SHOWWINDOW, {150, 160, 300, 210}},
        {"minimise", [](QWidget& w) { w.setWindowState(Qt::WindowMinimized); }, shadow::WM_SIZE,
         shadow::SIZE_MINIMIZED, 0, {}},
        {"restore", [](QWidget& w) { w.setWindowState(Qt::WindowNoState); }, shadow::WM_SIZE,
         shadow::SIZE_RESTORED, 0, {}},
        {"maximise", [](QWidget& w) { w.setWindowState(Qt::WindowMaximized); }, shadow::WM_SIZE,
         shadow::SIZE_MAXIMIZED, 0, {}},
        {"theme change",
         [](QWidget& w) {
             QEvent event(QEvent::ThemeChange);
             QCoreApplication::sendEvent(&w, &event);
         },
         shadow::WM_THEMECHANGED, 0, 0, {}},
        {"application palette change",
         [](QWidget&) {
             QPalette palette = QApplication::palette();
             palette.setColor(QPalette::Window, QColor(10, 20, 30));
             QApplication::setPalette(palette);
         },
         shadow::WM_THEMECHANGED, 0, 0, {}},
        {"display change", [](QWidget&) { shadow::BroadcastDisplayChange(); },
         shadow::WM_DISPLAYCHANGE, static_cast<shadow::WParam>(QGuiApplication::primaryScreen()->depth()), 0, {}},
    };
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    interceptor.sc_AddWatch(id, ALL_MESSAGES, MSG_BEFORE);
    const QPalette original = QApplication::palette();
    for (const Case& c : cases) {
        owner.calls.clear();
        c.action(*window);
        QCoreApplication::processEvents();
        const Call* found = nullptr;
        for (const Call& call : owner.calls) {
            if (call.message == c.message) found = &call;
        }
        ASSERT_NE(found, nullptr) << c.name;
        EXPECT_TRUE(found->before) << c.name;
        EXPECT_EQ(found->wParam, c.wParam) << c.name;
        if (c.message == shadow::WM_WINDOWPOSCHANGED) {
            EXPECT_EQ(found->pos.flags & c.flagsSet, c.flagsSet) << c.name;
            EXPECT_EQ(QRect(found->pos.x, found->pos.y, found->pos.cx, found->pos.cy), c.placement)
                << c.name;
        }
    }
    QApplication::setPalette(original);
}

TEST_F(Interception, BeforeWindowAfterInThatOrder) {
    std::vector<std::string> log;
    owner.log = &log;
    window->log = &log;
    window->onMessage = [](shadow::WindowMessageEvent& message) { message.result = 7; };
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    interceptor.sc_AddWatch(id, kUserMessage, MSG_BEFORE | MSG_AFTER);
    shadow::LResult resultSeenAfter = -1;
    owner.react = [&](bool before, bool&, shadow::LResult& result, std::uint32_t, std::int32_t&) {
        if (!before) resultSeenAfter = result;
    };
    EXPECT_EQ(shadow::SendWindowMessage(id, kUserMessage, 0, 0), 7);
    EXPECT_EQ(log, (std::vector<std::string>{"before 1024", "window 1024", "after 1024"}));
    EXPECT_EQ(resultSeenAfter, 7);
}

TEST_F(Interception, WhichCallsAMessageGets) {
    struct Case {
        const char* name;
        std::int32_t when;
        bool handleBefore;
        std::vector<std::string> expectedLog;
        shadow::LResult expectedResult;
    };
    const Case cases[] = {
        {"not watched", 0, false, {"window 1024"}, 7},
        {"before only", MSG_BEFORE, false, {"before 1024", "window 1024"}, 7},
        {"after only", MSG_AFTER, false, {"window 1024", "after 1024"}, 7},
        {"handled before: the window never sees it", MSG_BEFORE, true, {"before 1024"}, 42},
        {"handled before: no after call either", MSG_BEFORE | MSG_AFTER, true, {"before 1024"}, 42},
    };
    for (const Case& c : cases) {
        std::vector<std::string> log;
        RecordingOwner caseOwner;
        caseOwner.log = &log;
        caseOwner.react = [&c](bool before, bool& handled, shadow::LResult& result, std::uint32_t,
                               std::int32_t&) {
            if (before && c.handleBefore) {
                handled = true;
                result = 42;
            }
        };
        window->log = &log;
        window->onMessage = [](shadow::WindowMessageEvent& message) { message.result = 7; };
        MessageInterceptor interceptor(QStringLiteral("clsShadow"), &caseOwner);
        ASSERT_TRUE(interceptor.sc_Subclass(id)) << c.name;
        if (c.when) interceptor.sc_AddWatch(id, kUserMessage, c.when);
        EXPECT_EQ(shadow::SendWindowMessage(id, kUserMessage, 0, 0), c.expectedResult) << c.name;
        EXPECT_EQ(log, c.expectedLog) << c.name;
        window->log = nullptr;
    }
}

TEST_F(Interception, HandledMoveNeverReachesTheWindow) {
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    interceptor.sc_AddWatch(id, shadow::WM_WINDOWPOSCHANGED, MSG_BEFORE);
    owner.react = [](bool, bool& handled, shadow::LResult&, std::uint32_t, std::int32_t&) {
        handled = true;
    };
    const int movesBefore = window->moves;
    window->move(180, 170);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->moves, movesBefore);
    owner.react = nullptr;
    window->move(190, 170);
    QCoreApplication::processEvents();
    EXPECT_GT(window->moves, movesBefore) << "unhandled moves reach the window";
}

TEST_F(Interception, UserValueIsPassedAndKept) {
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id, 5));
    interceptor.sc_AddWatch(id, kUserMessage, MSG_BEFORE);
    owner.react = [](bool, bool&, shadow::LResult&, std::uint32_t, std::int32_t& userValue) {
        ++userValue;
    };
    shadow::SendWindowMessage(id, kUserMessage, 0, 0);
    shadow::SendWindowMessage(id, kUserMessage, 0, 0);
    ASSERT_EQ(owner.calls.size(), 2u);
    EXPECT_EQ(owner.calls[0].userValue, 5);
    EXPECT_EQ(owner.calls[1].userValue, 6);
}

TEST_F(Interception, ReleaseWhileACallIsNested) {
    // The window's own handling of the outer message sends it the nested one;
    // the owner ends the interception from inside the nested call.
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    interceptor.sc_AddWatch(id, kUserMessage, MSG_BEFORE | MSG_AFTER);
    interceptor.sc_AddWatch(id, kNestedMessage, MSG_BEFORE);
    QPointer<InterceptionRecord> record = interceptor.zMap_hWnd(id);
    ASSERT_TRUE(record);

    bool aliveAfterNested = false;
    int depthInsideNested = -1;
    window->onMessage = [&](shadow::WindowMessageEvent& message) {
        if (message.message != kUserMessage) return;
        shadow::SendWindowMessage(id, kNestedMessage, 0, 0);
        aliveAfterNested = record && record->releaseRequested();
    };
    owner.react = [&](bool before, bool&, shadow::LResult&, std::uint32_t message, std::int32_t&) {
        if (before && message == kNestedMessage) {
            depthInsideNested = record ? record->nestingDepth() : -1;
            interceptor.sc_UnSubclass(id);
        }
    };
    shadow::SendWindowMessage(id, kUserMessage, 0, 0);
    EXPECT_EQ(depthInsideNested, 1);
    EXPECT_TRUE(aliveAfterNested) << "freed while the outer call was still inside it";
    EXPECT_FALSE(record) << "not freed once the last call returned";
    ASSERT_EQ(owner.calls.size(), 2u) << "no after call once released";
    EXPECT_TRUE(logged.empty());

    owner.calls.clear();
    window->onMessage = nullptr;
    std::vector<std::string> log;
    window->log = &log;
    EXPECT_EQ(shadow::SendWindowMessage(id, kUserMessage, 0, 0), 0);
    EXPECT_TRUE(owner.calls.empty());
    EXPECT_EQ(log, std::vector<std::string>{"window 1024"}) << "the window keeps working";
}

TEST_F(Interception, ReleaseFromInsideTheBeforeCall) {
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    interceptor.sc_AddWatch(id, kUserMessage, MSG_BEFORE | MSG_AFTER);
    QPointer<InterceptionRecord> record = interceptor.zMap_hWnd(id);
    bool aliveInside = false;
    owner.react = [&](bool before, bool&, shadow::LResult&, std::uint32_t, std::int32_t&) {
        if (!before) return;
        interceptor.sc_UnSubclass(id);
        aliveInside = !record.isNull();
    };
    std::vector<std::string> log;
    window->log = &log;
    shadow::SendWindowMessage(id, kUserMessage, 0, 0);
    EXPECT_TRUE(aliveInside);
    EXPECT_FALSE(record);
    EXPECT_EQ(log, std::vector<std::string>{"window 1024"});
    EXPECT_EQ(owner.calls.size(), 1u);
}

TEST_F(Interception, UnsubclassAllEndsEveryWindow) {
    RecordingWindow second;
    second.show();
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(id));
    ASSERT_TRUE(interceptor.sc_Subclass(second.winId()));
    interceptor.sc_AddWatch(id, kUserMessage, MSG_BEFORE);
    interceptor.sc_AddWatch(second.winId(), kUserMessage, MSG_BEFORE);
    QPointer<InterceptionRecord> first = interceptor.zMap_hWnd(id);
    QPointer<InterceptionRecord> other = interceptor.zMap_hWnd(second.winId());
    interceptor.sc_UnSubclassAll();
    EXPECT_FALSE(first);
    EXPECT_FALSE(other);
    shadow::SendWindowMessage(id, kUserMessage, 0, 0);
    shadow::SendWindowMessage(second.winId(), kUserMessage, 0, 0);
    EXPECT_TRUE(owner.calls.empty());
    EXPECT_TRUE(logged.empty());
    EXPECT_EQ(interceptor.zMap_hWnd(id), nullptr);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "clsShadow.zMap_hWnd: Subclassing hasn't been started");
    EXPECT_TRUE(interceptor.sc_Subclass(id)) << "a new start after all ended";
}

TEST_F(Interception, DestroyedWindowTakesItsRecordAlong) {
    auto doomed = std::make_unique<RecordingWindow>();
    doomed->show();
    const WId doomedId = doomed->winId();
    MessageInterceptor interceptor(QStringLiteral("clsShadow"), &owner);
    ASSERT_TRUE(interceptor.sc_Subclass(doomedId));
    QPointer<InterceptionRecord> record = interceptor.zMap_hWnd(doomedId);
    doomed.reset();
    EXPECT_FALSE(record);
    interceptor.sc_AddWatch(doomedId, kUserMessage, MSG_BEFORE);  // ignored, no report
    EXPECT_TRUE(logged.empty());
    interceptor.sc_UnSubclassAll();
}

TEST_F(Interception, OwnerGoneMeansNoCallbacks) {
    {
        RecordingOwner shortLived;
        MessageInterceptor interceptor(QStringLiteral("clsShadow"), &shortLived);
        ASSERT_TRUE(interceptor.sc_Subclass(id));
        interceptor.sc_AddWatch(id, ALL_MESSAGES, MSG_BEFORE | MSG_AFTER);
    }
    window->move(111, 112);
    std::vector<std::string> log;
    window->log = &log;
    EXPECT_EQ(shadow::SendWindowMessage(id, kUserMessage, 0, 0), 0);
    EXPECT_EQ(log, std::vector<std::string>{"window 1024"});
}

TEST_F(Interception, TwoOwnersOnOneWindowBothSeeIt) {
    RecordingOwner second;
    MessageInterceptor first(QStringLiteral("clsShadow"), &owner);
    MessageInterceptor other(QStringLiteral("clsOther"), &second);
    ASSERT_TRUE(first.sc_Subclass(id));
    ASSERT_TRUE(other.sc_Subclass(id)) << "each owner keeps its own registry";
    first.sc_AddWatch(id, kUserMessage, MSG_BEFORE);
    other.sc_AddWatch(id, kUserMessage, MSG_BEFORE);
    shadow::SendWindowMessage(id, kUserMessage, 0, 0);
    EXPECT_EQ(owner.calls.size(), 1u);
    EXPECT_EQ(second.calls.size(), 1u);
}

TEST_F(Interception, SendingToAnUnknownWindowGivesZero) {
    EXPECT_EQ(shadow::SendWindowMessage(0, kUserMessage, 0, 0), 0);
    EXPECT_EQ(shadow::SendWindowMessage(WId(0x7FFFFFF0), kUserMessage, 0, 0), 0);
}

}  // namespace
