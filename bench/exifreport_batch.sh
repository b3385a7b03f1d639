#!/usr/bin/env bash
# What exifreport's batch modes cost (whole process, warm page cache, repeated
# runs with hyperfine):
#  1. --csv and --json against the text report over the same camera JPEGs
#     (the batch of exifreport_vs_peers.sh);
#  2. a recursive walk over 10,000 photos in 100 folders against naming the
#     same files on the command line.
# Usage: bench/exifreport_batch.sh [COUNT] [FOLDERS] [PER_FOLDER]   (default 1000 100 100)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/camera_batch.sh
count=${1:-1000}
folders=${2:-100}
perFolder=${3:-100}
scripts/deps.sh hyperfine imagemagick

build=build-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_GUI=OFF -DEXIFVIEWER_TESTS=OFF \
  -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target exifreport make_camera_batch >/dev/null
report=$build/exifreport/exifreport

batch=$build/cache/exifreport-batch-$count
if [ ! -f "$batch/done" ]; then
  rm -rf "$batch" && mkdir -p "$batch/photos"
  camera_jpegs $build "$batch/photos" "$count"
  touch "$batch/done"
fi
photos=("$batch"/photos/*.JPG)

# exifreport reads only the head of each file, so the walk's photos carry the
# thumbnail as their body: the tree stays small on disk.
tree=$build/cache/exifreport-walk-${folders}x$perFolder
if [ ! -f "$tree/done" ]; then
  rm -rf "$tree" && mkdir -p "$tree/photos"
  convert -size 4000x3000 -seed 7 plasma:olive-skyblue -resize 160x120 -quality 80 "$tree/thumb.jpg"
  for ((f = 1; f <= folders; f++)); do
    mkdir -p "$tree/photos/$f"
    $build/bench/make_camera_batch "$tree/thumb.jpg" "$tree/thumb.jpg" "$tree/photos/$f" "$perFolder"
  done
  touch "$tree/done"
fi
# 10,000 paths are more than one argument of hyperfine may hold, so both runs
# of the walk comparison start from bash reading the list: the same overhead
# for both.
list=$tree/list
printf '%s\n' "$tree"/photos/*/*.JPG >"$list"
named=$(wc -l <"$list")

echo "batch: ${#photos[@]} JPEGs in $batch/photos; tree: $named JPEGs in $folders folders in $tree/photos"
echo "(wall time; user+sys is the processor time, steadier on a busy machine)"

json=$(mktemp)
summary() {  # hyperfine-json baseline-name
  python3 - "$1" "$2" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
baseRun = next(r for r in results if r["command"] == sys.argv[2])
base, baseCpu = baseRun["mean"], baseRun["user"] + baseRun["system"]
for r in results:
    cpu = r["user"] + r["system"]
    print(f"  {r['command']:8s} mean {r['mean']*1000:7.1f} ms ± {r['stddev']*1000:5.1f} (median {r['median']*1000:.1f}, "
          f"min {r['min']*1000:.1f}, {len(r['times'])} runs) {r['mean']/base:5.2f}x {sys.argv[2]};  "
          f"user+sys {cpu*1000:7.1f} ms {cpu/(baseCpu):5.2f}x")
PY
}

echo "outputs over ${#photos[@]} photos:"
hyperfine --warmup 3 --runs 30 -N --export-json "$json" \
  -n report "$report ${photos[*]}" \
  -n csv "$report --csv ${photos[*]}" \
  -n json "$report --json ${photos[*]}" >/dev/null
summary "$json" report

# Instructions run in the program itself (not the kernel's file reading):
# exact, so they show the writers' own cost even on a busy machine.
if command -v valgrind >/dev/null; then
  echo "instructions in user space (valgrind), over ${#photos[@]} photos:"
  for mode in report csv json; do
    flag=""
    [ $mode != report ] && flag=--$mode
    instructions=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null $report $flag "${photos[@]}" 2>&1 >/dev/null |
            sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
    [ $mode = report ] && base=$instructions
    echo "  $mode: $instructions  $(python3 -c "print(f'{$instructions/$base:.2f}x report')")"
  done
fi

echo "walk over $named photos in $folders folders:"
hyperfine --warmup 2 --runs 15 -N --export-json "$json" \
  -n named "bash -c 'mapfile -t a <$list; exec $report \"\${a[@]}\"'" \
  -n walk "bash -c 'mapfile -t a <$list; exec $report -r $tree/photos'" >/dev/null
summary "$json" named
rm -f "$json"
