#!/usr/bin/env bash
# Stepping through a folder of 5,000 camera JPEGs (each with an .xmp
# sidecar) with the arrow key, timed from the key to the new photo's picture
# drawn: the first step right after a photo opened (at once, and after a
# quarter of a second), later steps at a person's pace (a third of a second
# apart), a photo no key led to (opened by the command: what a step costs
# without preloading), and the last of ten keys 5-25 ms apart (at random,
# 15 on average, the same gaps with and without preloading). Each run is a
# process of its own; prints each run's medians and the medians of the runs,
# with the memory the preloading takes.
# Usage: bench/folder_step.sh [RUNS] [STEPS]   (default 5 runs of 100 steps)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
steps=${2:-100}
scripts/deps.sh

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target folder_step_bench >/dev/null
bench=$build/bench/folder_step_bench
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

folder=$build/cache/folder-step-5000x16
if [ ! -f "$folder/.done" ]; then
  rm -rf "$folder"
  $bench generate "$folder" 5000
  touch "$folder/.done"
fi

printf '%-4s %-12s %12s %12s %8s %8s %8s\n' run preloading "1st at once" "1st later" key cold burst
results=()
for ((i = 1; i <= runs; i++)); do
  for mode in on off; do
    out=$($bench measure "$folder" "$steps" $([ $mode = off ] && echo --no-preloading))
    value() { awk -v k="$1" '$1 == k {print $2}' <<<"$out"; }
    listings=$(value listings)
    [ "$listings" = 1 ] || { echo "the folder was read $listings times" >&2; exit 1; }
    row="$(value first_key_at_once_ms) $(value first_key_ms) $(value key_ms) $(value cold_ms) $(value burst_ms)"
    read -r now later key cold burst <<<"$row"
    printf '%-4s %-12s %12.2f %12.2f %8.2f %8.2f %8.2f\n' "$i" $mode "$now" "$later" "$key" "$cold" "$burst"
    results+=("$mode $row")
    [ $mode = off ] || memory="kept pictures $(value kept_bytes) bytes, preloading worker $(value preload_worker_kb) KiB resident"
  done
done
python3 - "${results[@]}" <<'PY'
import statistics, sys
rows = {"on": [], "off": []}
for r in sys.argv[1:]:
    mode, *values = r.split()
    rows[mode].append(tuple(map(float, values)))
med = {mode: [statistics.median(c) for c in zip(*rs)] for mode, rs in rows.items()}
names = ["first step at once", "first step after a look", "steps at a person's pace",
         "a photo no key led to", "last of ten quick keys"]
print(f"medians of {len(rows['on'])} runs (ms, key to picture drawn): with preloading / without / ratio")
for name, on, off in zip(names, med["on"], med["off"]):
    print(f"  {name:26s} {on:8.2f} {off:8.2f} {off / on:6.2f}x")
PY
echo "$memory (last run)"
