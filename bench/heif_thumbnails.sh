#!/usr/bin/env bash
# Opening HEIFs whose thumbnail is a pixel off the photo's aspect (a 12 MP
# 3:2 photo and an 8640 x 5760 camera file, both with a 320 x 212
# thumbnail): the photo panel's openPhoto now, the same at BASELINE (the
# commit before such thumbnails were taken), and heif-thumbnailer making a
# 200-pixel thumbnail (whole process), in the same run, RUNS times each. The
# median time and the largest peak-memory growth are printed, with the ratio
# to the baseline. Goal: at most 40 ms and 30 MiB.
# Usage: bench/heif_thumbnails.sh [RUNS] [BASELINE]   (defaults 5, 82b2e9b)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
baseline=${2:-82b2e9b}
scripts/deps.sh heif-thumbnailer

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target panel_bench make_heif_thumbnails >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

source bench/baseline.sh
old_bench=$(baseline_panel_bench $build "$baseline")

photos=$build/cache/heif-thumbnail-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos" && mkdir -p "$photos"
  $build/bench/make_heif_thumbnails "$photos" >/dev/null
  $build/bench/panel_bench generate "$photos" >/dev/null  # for warmup.jpg
  touch "$photos/done"
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

measure() {  # panel_bench photo -> "median_ms max_peak_kib"
  local times=() peaks=() out
  for ((i = 0; i < runs; i++)); do
    out=$("$1" open "$2" "$photos/warmup.jpg" 2>/dev/null)
    times+=("$(awk '/^ms /{print $2}' <<<"$out")")
    peaks+=("$(awk '/^peak_kib /{print $2}' <<<"$out")")
  done
  python3 -c 'import statistics, sys; t = [float(x) for x in sys.argv[1].split()]; p = [int(x) for x in sys.argv[2].split()]
print(f"{statistics.median(t):.1f} {max(p)}")' "${times[*]}" "${peaks[*]}"
}

thumbnailer() {  # photo -> "median_ms max_rss_kib" of the whole process
  local times=() peaks=() stats
  for ((i = 0; i < runs; i++)); do
    stats=$(/usr/bin/time -f "%e %M" heif-thumbnailer -s 200 "$1" "$scratch/t.png" 2>&1 >/dev/null | tail -n 1)
    times+=("$(cut -d' ' -f1 <<<"$stats")")
    peaks+=("$(cut -d' ' -f2 <<<"$stats")")
  done
  python3 -c 'import statistics, sys; t = [float(x) * 1000 for x in sys.argv[1].split()]; p = [int(x) for x in sys.argv[2].split()]
print(f"{statistics.median(t):.0f} {max(p)}")' "${times[*]}" "${peaks[*]}"
}

printf '%-22s %9s %9s %10s %9s %9s %12s %12s\n' photo "now ms" "now MiB" "base ms" "base MiB" ratio "thumbnailer" "(RSS MiB)"
for photo in phone_12mp_3x2.heic camera_8640x5760.hif; do
  read -r now_ms now_kib < <(measure $build/bench/panel_bench "$photos/$photo")
  read -r base_ms base_kib < <(measure "$old_bench" "$photos/$photo")
  read -r thumb_ms thumb_kib < <(thumbnailer "$photos/$photo")
  python3 - "$photo" "$now_ms" "$now_kib" "$base_ms" "$base_kib" "$thumb_ms" "$thumb_kib" <<'PY'
import sys
name, now_ms, now_kib, base_ms, base_kib, thumb_ms, thumb_kib = sys.argv[1:]
now_ms, base_ms = float(now_ms), float(base_ms)
print(f"{name:22s} {now_ms:9.1f} {int(now_kib) / 1024:9.1f} {base_ms:10.1f} {int(base_kib) / 1024:9.1f} "
      f"{base_ms / now_ms:8.1f}x {float(thumb_ms):12.0f} {int(thumb_kib) / 1024:12.1f}")
PY
done
echo "($runs runs each: median time, largest peak-memory growth over the warm-up; heif-thumbnailer: whole"
echo " process, its wall time and largest resident size)"
