// The decoder worker's life: check that it was started by the viewer, load
// its decoders, confine itself, say it is ready, then decode one request at
// a time until the viewer closes its end.
#pragma once

#include "sandbox/decode_hook.h"

#include <cstddef>

namespace sandbox {

// Returns the process's exit status (a WorkerExit, or 0).
int runWorker(const Decoders& decoders);

// Buffers of up to kHeapBufferBytes come from the heap and go back to it,
// which keeps kWarmHeapBytes of free memory faulted in from the worker's
// start: a large photo's decode writes to pages it need not fault in first
// (a 50 MP JPEG's 12 MB took as long as a sixth of its decode), and so does
// the next photo's. The worker holds that much more while it waits, and up
// to kHeapBufferBytes after a larger photo.
inline constexpr std::size_t kHeapBufferBytes = std::size_t{32} << 20;
inline constexpr std::size_t kWarmHeapBytes = std::size_t{12} << 20;
void keepHeapWarm();

}  // namespace sandbox
