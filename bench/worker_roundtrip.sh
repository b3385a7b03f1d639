#!/usr/bin/env bash
# What the decoder worker adds to opening a photo: a 12-megapixel camera JPEG
# (the panel benchmark's) drawn at the panel's preview size by today's road in
# the viewer, by the worker's decode run in the viewer, and by the same
# decode through the worker, alternating in one run; how long starting the
# worker holds the viewer and how long the worker takes to be ready; its
# resident memory idle and after the decodes; a viewer's start with and
# without starting the worker. Medians of RUNS rounds.
# Usage: bench/worker_roundtrip.sh [RUNS] [PHOTO]   (default 30, the 12 MP JPEG)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}

build=build-worker-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target worker_bench panel_bench exifviewer-decoder >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

photos=$build/cache/panel-bench-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos"
  $build/bench/panel_bench generate "$photos" >/dev/null
  touch "$photos/done"
fi
photo=${2:-$photos/photo_12mp.jpg}
worker=$build/libexec/exifviewer/exifviewer-decoder
$build/bench/worker_bench "$worker" "$photo" "$runs"
echo "(road: the photo road in this process (open and decode); hook: the worker's decode run in this process;"
echo " worker: the same through the worker; overhead: worker - hook, paired per round)"

# A viewer's start (application, window shown, first event-loop round) with
# and without starting the worker, alternating, each in a process of its own.
with=() without=()
for ((i = 0; i < runs; i++)); do
  with+=("$($build/bench/worker_bench startup "$worker" with | awk '/^startup_ms /{print $2}')")
  without+=("$($build/bench/worker_bench startup "$worker" without | awk '/^startup_ms /{print $2}')")
done
python3 - "${with[*]}" "${without[*]}" <<'PY'
import statistics, sys
with_, without = ([float(t) for t in arg.split()] for arg in sys.argv[1:3])
print(f"viewer start, median of {len(with_)}: {statistics.median(without):.1f} ms without the worker, "
      f"{statistics.median(with_):.1f} ms starting it")
PY
