// The decoder worker's life: check that it was started by the viewer, load
// its decoders, confine itself, say it is ready, then decode one request at
// a time until the viewer closes its end.
#pragma once

#include "sandbox/decode_hook.h"

namespace sandbox {

// Returns the process's exit status (a WorkerExit, or 0).
int runWorker(const Decoders& decoders);

}  // namespace sandbox
