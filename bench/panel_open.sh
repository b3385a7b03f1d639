#!/usr/bin/env bash
# The photo panel's openPhoto against a full-size decode followed by scaling,
# over generated 12, 24 and 50 megapixel JPEGs with a camera's metadata, and
# the same written progressive by ImageMagick (convert -interlace JPEG). Each
# measurement runs in a process of its own (so each has its own peak memory);
# both are measured in the same run, RUNS times each, and the median time and
# the largest peak growth are printed.
# Usage: bench/panel_open.sh [RUNS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scripts/deps.sh imagemagick

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target panel_bench >/dev/null
bench=$build/bench/panel_bench
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

photos=$build/cache/panel-bench-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos"
  $bench generate "$photos"
  touch "$photos/done"
fi
if [ ! -f "$photos/progressive-done" ]; then
  for size in 12 24 50; do
    convert "$photos/photo_${size}mp.jpg" -interlace JPEG -quality 92 "$photos/photo_${size}mp_progressive.jpg"
  done
  touch "$photos/progressive-done"
fi

measure() {  # mode photo -> "median_ms max_peak_kib"
  local times=() peaks=() out
  for ((i = 0; i < runs; i++)); do
    out=$($bench "$1" "$2" "$photos/warmup.jpg")
    times+=("$(awk '/^ms /{print $2}' <<<"$out")")
    peaks+=("$(awk '/^peak_kib /{print $2}' <<<"$out")")
  done
  python3 - "${times[*]}" "${peaks[*]}" <<'PY'
import statistics, sys
times = [float(t) for t in sys.argv[1].split()]
peaks = [int(p) for p in sys.argv[2].split()]
print(f"{statistics.median(times):.1f} {max(peaks)}")
PY
}

printf '%-26s %12s %12s %9s %14s %14s\n' photo "openPhoto ms" "full ms" ratio "openPhoto MiB" "full MiB"
for photo in photo_{12,24,50}mp.jpg photo_{12,24,50}mp_progressive.jpg; do
  read -r open_ms open_kib < <(measure open "$photos/$photo")
  read -r full_ms full_kib < <(measure full "$photos/$photo")
  python3 - "$photo" "$open_ms" "$full_ms" "$open_kib" "$full_kib" <<'PY'
import sys
photo, open_ms, full_ms, open_kib, full_kib = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
print(f"{photo:26s} {open_ms:12.1f} {full_ms:12.1f} {open_ms / full_ms:9.2f} {open_kib / 1024:14.1f} {full_kib / 1024:14.1f}")
PY
done
echo "($runs runs each: median time, largest peak-memory growth over the step)"
