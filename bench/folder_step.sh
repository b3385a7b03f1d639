#!/usr/bin/env bash
# Opening the next photo of a folder of 5,000 camera JPEGs (each with an .xmp
# sidecar) with the arrow key, against opening the same photo through the
# open command. Each run is a process of its own that opens STEPS photos,
# alternately by key and by command, and prints the medians; and the first
# key press in the folder, pressed at once after the photo opened (the folder
# may still be being read) and a quarter of a second later, against the open
# command a quarter of a second later.
# Usage: bench/folder_step.sh [RUNS] [STEPS]   (default 5 runs of 200 steps)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
steps=${2:-200}
scripts/deps.sh

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target folder_step_bench >/dev/null
bench=$build/bench/folder_step_bench
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

folder=$build/cache/folder-step-5000
if [ ! -f "$folder/.done" ]; then
  rm -rf "$folder"
  $bench generate "$folder" 5000
  touch "$folder/.done"
fi

printf '%-4s %14s %14s %14s %10s %10s %10s\n' run "1st key now" "1st key later" "1st cmd later" "key" "command" "key - cmd"
results=()
for ((i = 1; i <= runs; i++)); do
  out=$($bench measure "$folder" "$steps")
  value() { awk -v k="$1" '$1 == k {print $2}' <<<"$out"; }
  listings=$(value listings)
  [ "$listings" = 1 ] || { echo "the folder was read $listings times" >&2; exit 1; }
  row="$(value first_key_at_once_ms) $(value first_key_ms) $(value first_dialog_ms) $(value key_ms) $(value dialog_ms)"
  read -r now later command key cmd <<<"$row"
  printf '%-4s %14.2f %14.2f %14.2f %10.2f %10.2f %10.2f\n' "$i" "$now" "$later" "$command" "$key" "$cmd" \
    "$(awk -v k="$key" -v c="$cmd" 'BEGIN{print k - c}')"
  results+=("$row")
done
python3 - "${results[@]}" <<'PY'
import statistics, sys
rows = [tuple(map(float, r.split())) for r in sys.argv[1:]]
m = lambda values: statistics.median(values)
now, later, command, key, cmd = (m(c) for c in zip(*rows))
print(f"medians of {len(rows)} runs (ms): first step by key at once {now:.2f}, by key after a look {later:.2f}, "
      f"by command after a look {command:.2f}; later steps by key {key:.2f}, by command {cmd:.2f}")
print(f"key - command, per run then median: first step {m([r[1] - r[2] for r in rows]):+.2f} ms, "
      f"later steps {m([r[3] - r[4] for r in rows]):+.2f} ms")
PY
