#include "shadow/window_messages.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace shadow {
namespace {

struct EventRule {
    QEvent::Type type;
    std::uint32_t message;
    std::int32_t placementFlags;  // for WM_WINDOWPOSCHANGED
};

constexpr std::int32_t kQuiet = SWP_NOZORDER | SWP_NOACTIVATE;

constexpr EventRule kEventRules[] = {
    {QEvent::Move, WM_WINDOWPOSCHANGED, kQuiet | SWP_NOSIZE},
    {QEvent::Resize, WM_WINDOWPOSCHANGED, kQuiet | SWP_NOMOVE},
    {QEvent::Show, WM_WINDOWPOSCHANGED, kQuiet | SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW},
    {QEvent::Hide, WM_WINDOWPOSCHANGED, kQuiet | SWP_NOMOVE | SWP_NOSIZE | SWP_HIDEWINDOW},
    {QEvent::WindowStateChange, WM_SIZE, 0},
    {QEvent::ThemeChange, WM_THEMECHANGED, 0},
    {QEvent::ApplicationPaletteChange, WM_THEMECHANGED, 0},
};

WParam SizeType(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized) return SIZE_MINIMIZED;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return SIZE_MAXIMIZED;
    return SIZE_RESTORED;
}

}  // namespace

WindowMessageEvent::WindowMessageEvent(std::uint32_t message, WParam wParam, LParam lParam)
    : QEvent(eventType()), message(message), wParam(wParam), lParam(lParam) {}

QEvent::Type WindowMessageEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool TranslateEvent(const QWidget* window, const QEvent* event, WindowMessage& out) {
    if (event->type() == WindowMessageEvent::eventType()) {
        const auto* sent = static_cast<const WindowMessageEvent*>(event);
        out.message = sent->message;
        out.wParam = sent->wParam;
        out.lParam = sent->lParam;
        return true;
    }
    for (const EventRule& rule : kEventRules) {
        if (rule.type != event->type()) continue;
        out.message = rule.message;
        out.wParam = 0;
        out.lParam = 0;
        if (rule.message == WM_WINDOWPOSCHANGED) {
            const QRect frame = window->frameGeometry();
            out.pos = WindowPos{static_cast<std::int32_t>(window->internalWinId()), 0, frame.x(),
                                frame.y(), frame.width(), frame.height(), rule.placementFlags};
            out.lParam = reinterpret_cast<LParam>(&out.pos);
        } else if (rule.message == WM_SIZE) {
            out.wParam = SizeType(window->windowState());
            out.lParam = MakeLParam(window->width(), window->height());
        }
        return true;
    }
    return false;
}

LResult SendWindowMessage(WId window, std::uint32_t message, WParam wParam, LParam lParam) {
    QWidget* widget = window ? QWidget::find(window) : nullptr;
    if (!widget) return 0;
    WindowMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(widget, &event);
    return event.result;
}

void BroadcastDisplayChange() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const WParam bitsPerPixel = screen ? static_cast<WParam>(screen->depth()) : 0;
    const LParam size = screen ? MakeLParam(screen->size().width(), screen->size().height()) : 0;
    // A receiver may delete other top-level windows (the shadow drops its
    // strips when the display loses translucency), so hold them weakly.
    QList<QPointer<QWidget>> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) windows.append(widget);
    for (const QPointer<QWidget>& widget : windows) {
        if (!widget) continue;
        WindowMessageEvent event(WM_DISPLAYCHANGE, bitsPerPixel, size);
        QCoreApplication::sendEvent(widget, &event);
    }
}

void WatchDisplayChanges() {
    static QPointer<QObject> watcher;
    if (watcher || !qApp) return;
    watcher = new QObject(qApp);
    auto watchScreen = [](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, watcher, &BroadcastDisplayChange);
    };
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, watcher, [watchScreen](QScreen* screen) {
        watchScreen(screen);
        BroadcastDisplayChange();
    });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, watcher, &BroadcastDisplayChange);
    QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, watcher, &BroadcastDisplayChange);
}

}  // namespace shadow
