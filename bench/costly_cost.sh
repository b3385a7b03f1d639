#!/usr/bin/env bash
# What files that are small on disk but costly to decode cost the viewer: a
# HEIC grid of about 20,000 and of 10,000 small tiles, a HEIC overlay claiming
# a 9459 x 9459 canvas, a deflated 7999 x 7999 TIFF in one strip (and, for
# comparison, in strips, and a grid within the budget), each opened in the
# photo panel (bench/panel_bench cost) until its picture or its reason is
# drawn by the decoder worker. RUNS runs of each: the median time, and the
# largest peak resident size of the viewer and of the worker, each whole and
# their sum. Limits: 1 s, and 150 MiB for the two together.
# Usage: bench/costly_cost.sh [RUNS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target panel_bench make_costly_photos exifviewer-decoder >/dev/null
bench=$build/bench/panel_bench
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

photos=$build/cache/panel-bench-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos"
  $bench generate "$photos" >/dev/null
  touch "$photos/done"
fi
warmup=$photos/warmup.jpg

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
$build/bench/make_costly_photos "$files" | while read -r path size unit; do
  echo "$(basename "$path"): $size $unit"
done

printf '%-26s %9s %11s %11s %9s  %s\n' file "median ms" "viewer MiB" "worker MiB" "sum MiB" "shown"
for file in grid_20000.heic grid_10000.heic overlay_9459.heic deflate_7999.tif deflate_7999_strips.tif grid_small.heic; do
  out_all=()
  for ((i = 0; i < runs; i++)); do
    out=$(timeout 60 "$bench" cost "$files/$file" "$warmup" 2>/dev/null) || out="ms 60000"
    out_all+=("$(tr '\n' ';' <<<"$out")")
  done
  python3 - "$file" "${out_all[@]}" <<'PY'
import statistics, sys
name, runs = sys.argv[1], sys.argv[2:]
def field(run, key, default=-1):
    for item in run.split(";"):
        if item.startswith(key + " "):
            return item[len(key) + 1:]
    return default
ms = [float(field(r, "ms")) for r in runs]
viewer = [int(field(r, "hwm_kib")) for r in runs]
worker = [int(field(r, "worker_hwm_kib")) for r in runs]
both = [v + w for v, w in zip(viewer, worker) if w >= 0]
reason = field(runs[-1], "reason", "-")
shown = "picture" if reason == "-" else reason
mark = lambda ok: "" if ok else " !"
median = statistics.median(ms)
total = max(both) / 1024 if both else float("nan")
print(f"{name:26s} {median:8.1f}{mark(median <= 1000)} {max(viewer) / 1024:11.1f} "
      f"{max(worker) / 1024 if max(worker) >= 0 else float('nan'):11.1f} {total:8.1f}{mark(total <= 150)}  {shown}")
PY
done
echo "($runs runs each: median time from openPhoto to the picture or the reason drawn; the largest peak"
echo " resident size of each process, whole; ! marks a time over 1 s or a sum over 150 MiB;"
echo " a worker that ended during the decode shows nan)"
