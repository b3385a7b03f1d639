// What the panel benchmarks share: the process's memory counters and a
// photo-like picture to encode.
#pragma once

#include <QImage>

namespace benchsupport {

// A field of /proc/self/status (or another process's) in KiB ("VmRSS:",
// "VmHWM:"), or -1.
long StatusKib(const char* field, long pid = 0);

// Lowers the peak to the current resident size, so that the peak afterwards
// is what the measured step needed on top of what was already there.
bool ResetPeak(long pid = 0);

// Soft gradients with fine texture, so that a JPEG of it is about as large
// as a camera's.
QImage Scene(int width, int height);

}  // namespace benchsupport
