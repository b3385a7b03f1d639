// exifviewer-decoder: decodes photos for the viewer in a process of its own,
// shut in before it reads a single photo. Started by the viewer with its end
// of a socket pair as descriptor 3.
#include "sandbox/decode_hook.h"
#include "sandbox/worker.h"

#include <unistd.h>

int main() {
    // Straight out: nothing that runs at exit (a leak checker that would
    // trace the process, Qt's own clean-up) gets past the filter or is needed.
    ::_exit(sandbox::runWorker(sandbox::photoDecoders()));
}
