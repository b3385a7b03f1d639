#!/usr/bin/env bash
# Opening a 50-megapixel camera JPEG in the photo panel (openPhoto: preview
# drawn, list filled), without restart markers and with one after each row
# of MCUs (jpegtran -restart 1, as iPhones, HP, Kodak and Pentax write
# them): now, at BASELINE (the commit before the decoder used two threads),
# and djpeg -scale 1/8 decoding the same file (whole process), in the same
# run, RUNS times each, by turns. Prints the medians and the ratios to the
# baseline. Goal: at most 55 ms on two cores.
# Usage: bench/fifty_megapixels.sh [RUNS] [BASELINE]   (defaults 7, 82b2e9b)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
baseline=${2:-82b2e9b}
scripts/deps.sh libjpeg-turbo-progs

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target panel_bench >/dev/null
source bench/baseline.sh
old_bench=$(baseline_panel_bench $build "$baseline")
bench=$build/bench/panel_bench
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

photos=$build/cache/panel-bench-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos"
  $bench generate "$photos"
  touch "$photos/done"
fi
[ -f "$photos/photo_50mp_restarts.jpg" ] ||
  jpegtran -copy all -restart 1 "$photos/photo_50mp.jpg" >"$photos/photo_50mp_restarts.jpg"

median() { python3 -c 'import statistics, sys; print(f"{statistics.median(float(x) for x in sys.argv[1:]):.1f}")' "$@"; }
open_ms() { "$1" open "$2" "$photos/warmup.jpg" 2>/dev/null | awk '/^ms /{print $2}'; }
djpeg_ms() {
  local start end
  start=$(date +%s%N)
  djpeg -scale 1/8 -outfile /dev/null "$1"
  end=$(date +%s%N)
  echo "$(((end - start) / 1000))e-3"
}

printf '%-26s %8s %9s %12s %8s %10s\n' photo MB "now ms" "baseline ms" ratio "djpeg ms"
for photo in photo_50mp.jpg photo_50mp_restarts.jpg; do
  path=$photos/$photo
  now=() base=() peer=()
  for ((i = 0; i < runs; i++)); do
    now+=("$(open_ms $bench "$path")")
    base+=("$(open_ms "$old_bench" "$path")")
    peer+=("$(djpeg_ms "$path")")
  done
  python3 - "$photo" "$(stat -c %s "$path")" "$(median "${now[@]}")" "$(median "${base[@]}")" "$(median "${peer[@]}")" <<'PY'
import sys
name, size, now, base, peer = sys.argv[1], int(sys.argv[2]), *map(float, sys.argv[3:])
print(f"{name:26s} {size / 1e6:8.1f} {now:9.1f} {base:12.1f} {base / now:7.2f}x {peer:10.1f}")
PY
done
echo "($runs runs each, by turns: median openPhoto time; djpeg: the whole process)"
