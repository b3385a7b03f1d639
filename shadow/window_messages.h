// The window messages the shadow watches, numbered as the platform numbers
// them, and how Qt's events become those messages.
#pragma once

#include <QEvent>
#include <QtGui/qwindowdefs.h>
#include <cstdint>

class QWidget;

namespace shadow {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

constexpr std::uint32_t WM_SIZE = 0x0005;
constexpr std::uint32_t WM_WINDOWPOSCHANGED = 0x0047;
constexpr std::uint32_t WM_DISPLAYCHANGE = 0x007E;
constexpr std::uint32_t WM_THEMECHANGED = 0x031A;

// Placement flags of WM_WINDOWPOSCHANGED.
constexpr std::int32_t SWP_NOSIZE = 0x0001;
constexpr std::int32_t SWP_NOMOVE = 0x0002;
constexpr std::int32_t SWP_NOZORDER = 0x0004;
constexpr std::int32_t SWP_NOACTIVATE = 0x0010;
constexpr std::int32_t SWP_SHOWWINDOW = 0x0040;
constexpr std::int32_t SWP_HIDEWINDOW = 0x0080;

// wParam of WM_SIZE.
constexpr WParam SIZE_RESTORED = 0;
constexpr WParam SIZE_MINIMIZED = 1;
constexpr WParam SIZE_MAXIMIZED = 2;

// The placement record that lParam of WM_WINDOWPOSCHANGED points at: seven
// 32-bit fields, x and y in screen pixels.
struct WindowPos {
    std::int32_t hwnd = 0;
    std::int32_t hwndInsertAfter = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    std::int32_t flags = 0;
};
static_assert(sizeof(WindowPos) == 28);

constexpr LParam MakeLParam(int low, int high) {
    return static_cast<LParam>((static_cast<std::uint32_t>(high & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(low & 0xFFFF));
}

// One message as a window procedure sees it. For WM_WINDOWPOSCHANGED lParam
// points at `pos` inside the same object, so the object must stay where it
// was filled in while the message is passed on.
struct WindowMessage {
    std::uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    WindowPos pos;
};

// Turns a Qt event of `window` into the message the platform would send:
// move, resize, show and hide into WM_WINDOWPOSCHANGED; a window-state change
// into WM_SIZE; a theme or application palette change into WM_THEMECHANGED;
// a sent WindowMessageEvent into its own message. False for every other event.
bool TranslateEvent(const QWidget* window, const QEvent* event, WindowMessage& out);

// A message that has no Qt event of its own, sent to a window through Qt's
// event delivery so that every interception of the window sees it in turn.
class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(std::uint32_t message, WParam wParam, LParam lParam);
    static QEvent::Type eventType();

    std::uint32_t message;
    WParam wParam;
    LParam lParam;
    LResult result = 0;  // what the sender gets back
};

// Delivers a message to the window with this id and returns the result of
// its handling; 0 when no window of this program has the id.
LResult SendWindowMessage(WId window, std::uint32_t message, WParam wParam, LParam lParam);

// Sends WM_DISPLAYCHANGE (bits per pixel, screen size) to every top-level
// window, as the platform does when a screen is added, removed or changed.
void BroadcastDisplayChange();

// Makes screen changes broadcast WM_DISPLAYCHANGE from now on. Idempotent.
void WatchDisplayChanges();

}  // namespace shadow
