#include "platform/window_system.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>
#include <string>
#include <xcb/xcb.h>

namespace platform {
namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> Owned(Reply* reply) {
    return ReplyPtr<Reply>(reply, &std::free);
}

xcb_connection_t* X11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The screen number of the display Qt connected to; DISPLAY names it
// (":0.1" is screen 1), as it did for Qt's own connection.
int DefaultScreenNumber() {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen)) return 0;
    std::free(host);
    return screen;
}

bool CompositingManagerRunning(xcb_connection_t* connection, int screen) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    // only_if_exists: an atom nobody ever interned has no owner either.
    auto atom = Owned(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    auto owner = Owned(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace

bool TranslucentWindowsSupported() {
    xcb_connection_t* connection = X11Connection();
    if (!connection) return false;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || screen->depth() < 16) return false;
    return CompositingManagerRunning(connection, DefaultScreenNumber());
}

bool IsForeignWindow(WId window) {
    const auto windows = QGuiApplication::allWindows();
    for (const QWindow* own : windows) {
        if (own->handle() && own->winId() == window) return false;
    }
    xcb_connection_t* connection = X11Connection();
    if (!connection || window == 0 || window > 0xFFFFFFFFu) return false;
    const auto id = static_cast<xcb_window_t>(window);
    // Take the error here, or it would reach Qt's event reader as a warning.
    xcb_generic_error_t* error = nullptr;
    auto attributes = Owned(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, id), &error));
    std::free(error);
    return attributes != nullptr;
}

}  // namespace platform
