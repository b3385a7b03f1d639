// What the shadow needs to know from the windowing system. Every X11 call of
// the program lives in window_system.cpp; callers see plain answers.
#pragma once

#include <QtGui/qwindowdefs.h>

namespace platform {

// Whether top-level windows with per-pixel alpha are shown blended with what
// lies beneath: on X11 a compositing manager must own the _NET_WM_CM_S<screen>
// selection, and the screen must have at least 16 bits per pixel. Wayland
// (clients cannot place their windows) and the headless platforms answer false.
bool TranslucentWindowsSupported();

// A window id that the window system knows but that belongs to no window of
// this program (another client's window).
bool IsForeignWindow(WId window);

}  // namespace platform
