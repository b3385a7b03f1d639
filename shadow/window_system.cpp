#include "shadow/window_system.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>
#include <string>
#include <xcb/xcb.h>

namespace viewer {
namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> owned(Reply* reply) {
    return ReplyPtr<Reply>(reply, &std::free);
}

xcb_connection_t* x11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The screen number of the display Qt connected to; DISPLAY names it
// (":0.1" is screen 1), as it did for Qt's own connection.
int defaultScreenNumber() {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen)) return 0;
    std::free(host);
    return screen;
}

bool compositingManagerRunning(xcb_connection_t* connection, int screen) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    // only_if_exists: an atom nobody ever interned has no owner either.
    auto atom = owned(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    auto owner = owned(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace

bool translucentWindowsSupported() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) return false;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || screen->depth() < 16) return false;
    return compositingManagerRunning(connection, defaultScreenNumber());
}

}  // namespace viewer
