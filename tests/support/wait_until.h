// Waiting in a test for what comes through the event loop (a decoder
// worker's answer, a window's repaint).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace testsupport {

// Asleep in the event loop until `done`; false when `milliseconds` passed.
// processEvents with a time polls, and would take a core from the worker; the
// tick lets the time limit be seen.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 60000) {
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace testsupport
