#!/usr/bin/env bash
# The cost of files that must neither freeze nor exhaust the programs: a FIFO
# without a writer, and progressive JPEGs of 3 MB claiming 40000 x 40000
# pixels (a full decode keeps 3.2 GB of coefficients), one complete, one with
# its DC scan alone. The photo panel's OpenPhoto and exifreport each run in a
# process of their own, RUNS times, under a 60-second timeout. Prints the
# median time and the largest peak-memory growth over the program's idle
# peak: for OpenPhoto over the peak after a first small photo, for exifreport
# over its peak on that small photo.
# Usage: bench/costly_files.sh [RUNS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scripts/deps.sh

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target open_photo_cost make_claiming_jpeg exifreport >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
$build/bench/make_claiming_jpeg "$files" >/dev/null
mkfifo "$files/fifo.jpg"

median() { python3 -c 'import statistics, sys; print(f"{statistics.median(float(x) for x in sys.argv[1:]):.1f}")' "$@"; }
# A peak below the idle one (pages given back meanwhile) counts as no growth.
mebibytes() { python3 -c 'import sys; print(f"{max(0, *(int(x) for x in sys.argv[1:])) / 1024:.1f}")' "$@"; }

# Peak resident KiB and seconds of one exifreport run.
report_run() {
  /usr/bin/time -f '%M %e' -o "$files/time" timeout 60 $build/exifreport/exifreport "$1" >/dev/null 2>&1 || true
  tail -1 "$files/time"
}

read -r idle_kib _ < <(report_run "$files/warmup.jpg")
printf '%-22s %10s %10s %8s %15s %15s\n' file "open ms" "open MiB" opened "exifreport ms" "exifreport MiB"
for name in fifo.jpg claiming_dc_ac.jpg claiming_dc_only.jpg; do
  open_ms=() open_kib=() report_ms=() report_kib=() opened=
  for ((i = 0; i < runs; i++)); do
    out=$(timeout 60 $build/bench/open_photo_cost "$files/$name" "$files/warmup.jpg" 2>/dev/null || echo "opened timeout")
    open_ms+=("$(awk '/^ms /{print $2}' <<<"$out")")
    open_kib+=("$(awk '/^peak_kib /{print $2}' <<<"$out")")
    opened=$(awk '/^opened /{print $2}' <<<"$out")
    read -r kib seconds < <(report_run "$files/$name")
    report_kib+=("$((kib - idle_kib))")
    report_ms+=("$(python3 -c "print($seconds * 1000)")")
  done
  printf '%-22s %10s %10s %8s %15s %15s\n' "$name" "$(median "${open_ms[@]:-0}")" "$(mebibytes "${open_kib[@]:-0}")" \
    "$opened" "$(median "${report_ms[@]}")" "$(mebibytes "${report_kib[@]}")"
done
echo "($runs runs each: median time, largest peak-memory growth; limits 500 ms and 100 MiB;"
echo " exifreport's time is /usr/bin/time's, in steps of 10 ms; its idle peak is $((idle_kib / 1024)) MiB)"
