// The decoder worker's life: check that it was started by the viewer, load
// its decoders, confine itself, say it is ready, then decode one request at
// a time until the viewer closes its end.
#pragma once

#include "sandbox/decode_hook.h"

#include <cstddef>
#include <functional>

namespace sandbox {

// Returns the process's exit status (a WorkerExit, or 0).
int runWorker(const Decoders& decoders);

// Buffers of up to kHeapBufferBytes come from the heap and go back to it,
// so that a decode's later buffers reuse the pages of its earlier ones, and
// the next photo's all of them: a 50 MP JPEG's decode spent a sixth of its
// time faulting in fresh pages. The worker holds the free ones, up to
// kHeapBufferBytes after a large photo.
inline constexpr std::size_t kHeapBufferBytes = std::size_t{32} << 20;
void keepBuffersOnTheHeap();

// Faults in kWarmHeapBytes of the heap for the first photo's buffers, which
// the heap keeps from then on, in huge pages where the system gives them on
// request: done while the worker waits for a request,
// and stopped at the first look at `interrupted` that is true (a request
// came); true once all of it is warm.
inline constexpr std::size_t kWarmHeapBytes = std::size_t{12} << 20;
bool warmHeap(const std::function<bool()>& interrupted = {});

}  // namespace sandbox
