// What the shadow needs to know from the window system. Every X11 call of the
// program lives in window_system.cpp; the shadow sees a plain answer.
#pragma once

namespace viewer {

// Whether top-level windows with per-pixel alpha are shown blended with what
// lies beneath: on X11 a compositing manager must own the _NET_WM_CM_S<screen>
// selection, and the screen must have at least 16 bits per pixel. Wayland
// (clients cannot place their windows) and the headless platforms answer false.
bool translucentWindowsSupported();

}  // namespace viewer
