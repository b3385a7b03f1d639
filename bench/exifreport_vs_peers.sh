#!/usr/bin/env bash
# Whole-process time of exifreport over a batch of camera JPEGs, against
# `exiv2 -pa` and `exiftool` over the same batch (warm page cache, repeated runs).
# With BASELINE set to another build's exifreport, that one runs in the same
# hyperfine session, and then the two run by turns (see interleaved_ratio).
# Usage: [BASELINE=path/to/exifreport] bench/exifreport_vs_peers.sh [COUNT]   (default 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/camera_batch.sh
count=${1:-1000}
scripts/deps.sh exiv2 libimage-exiftool-perl hyperfine imagemagick

build=build-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_GUI=OFF -DEXIFVIEWER_TESTS=OFF \
  -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j"$(nproc)" --target exifreport make_camera_batch >/dev/null

batch=$build/cache/exifreport-batch-$count
if [ ! -f "$batch/done" ]; then
  rm -rf "$batch" && mkdir -p "$batch/photos"
  camera_jpegs $build "$batch/photos" "$count"
  touch "$batch/done"
fi
photos=("$batch"/photos/*.JPG)
echo "batch: ${#photos[@]} JPEGs of $(du -sh "$batch/photos" | cut -f1) in $batch/photos"

json=$(mktemp)
baseline=()
[ -n "${BASELINE:-}" ] && baseline=(-n baseline "$BASELINE ${photos[*]}")
hyperfine --warmup 2 --runs 10 -i --export-json "$json" -N \
  -n exifreport "$build/exifreport/exifreport ${photos[*]}" "${baseline[@]}" \
  -n "exiv2 -pa" "exiv2 -pa ${photos[*]}" \
  -n exiftool "exiftool ${photos[*]}" >/dev/null
python3 - "$json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ours = results["exifreport"]["mean"]
for name in ("exifreport", "baseline", "exiv2 -pa", "exiftool"):
    if name not in results:
        continue
    r = results[name]
    print(f"{name:10s} mean {r['mean']*1000:9.1f} ms  (min {r['min']*1000:.1f}, max {r['max']*1000:.1f}, "
          f"{len(r['times'])} runs)  {r['mean']/ours:7.2f}x exifreport")
if "baseline" in results:
    print(f"exifreport / baseline: {ours / results['baseline']['mean']:.3f} (goal: 1.2 or less)")
PY
rm -f "$json"
[ -n "${BASELINE:-}" ] && interleaved_ratio "camera JPEGs" 20 "$build/exifreport/exifreport" "$BASELINE" "${photos[@]}"
true
