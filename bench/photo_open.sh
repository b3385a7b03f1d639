#!/usr/bin/env bash
# Opening HEIF and raw photos in the photo panel. HEIC photos (written by
# heif-enc) against libheif decoding the whole photo: 12 megapixels with a
# thumbnail and without, and 48 megapixels for the peak memory; a 24-megapixel
# DNG with a 1620 x 1080 preview against a JPEG of the preview's size. Each
# measurement runs in a process of its own (so each has its own peak memory),
# RUNS times; the median time and the largest peak growth are printed.
# Usage: bench/photo_open.sh [RUNS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scripts/deps.sh libheif-examples

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target photo_open_bench >/dev/null
bench=$build/bench/photo_open_bench
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

photos=$build/cache/photo-open-bench
if [ ! -f "$photos/generated" ]; then
  mkdir -p "$photos"
  $bench generate "$photos"
  touch "$photos/generated"
fi
encode() {  # name heif-enc-options source; x265 takes minutes for 48 megapixels
  [ -f "$photos/$1" ] || heif-enc -q 80 $2 -o "$photos/$1" "$photos/$3" >/dev/null
}
encode heic_12mp_thumb.heic "-t 320" scene_12mp.jpg
encode heic_12mp.heic "" scene_12mp.jpg
encode heic_48mp.heic "" scene_48mp.jpg
# Without a thumbnail, so that the warm-up decodes a whole photo: what the
# first decode leaves behind in the allocator (its raised mmap threshold)
# changes the peak of the next one by a fifth.
encode warmup.heic "" warmup.jpg

# Runs both measurements of a row in turn, RUNS times, so that a change in the
# machine's load falls on both alike.
row() {  # label photo warmup reference-mode reference-photo reference-warmup goal
  local out lines=()
  for ((i = 0; i < runs; i++)); do
    out=$($bench open "$photos/$2" "$photos/$3")
    lines+=("open $(awk '/^ms /{print $2}' <<<"$out") $(awk '/^peak_kib /{print $2}' <<<"$out")")
    out=$($bench "$4" "$photos/$5" "$photos/$6")
    lines+=("ref $(awk '/^ms /{print $2}' <<<"$out") $(awk '/^peak_kib /{print $2}' <<<"$out")")
  done
  printf '%s\n' "${lines[@]}" | python3 -c '
import statistics, sys
label, goal = sys.argv[1], sys.argv[2]
runs = {"open": ([], []), "ref": ([], [])}
for line in sys.stdin:
    kind, ms, kib = line.split()
    runs[kind][0].append(float(ms))
    runs[kind][1].append(int(kib))
open_ms, ref_ms = statistics.median(runs["open"][0]), statistics.median(runs["ref"][0])
open_kib, ref_kib = max(runs["open"][1]), max(runs["ref"][1])
print(f"{label:34s} {open_ms:9.1f} {ref_ms:9.1f} {open_ms / ref_ms:6.2f} {open_kib / 1024:9.1f} {ref_kib / 1024:9.1f} {open_kib / max(ref_kib, 1):6.2f}  {goal}")
' "$1" "$7"
}

printf '%-34s %9s %9s %6s %9s %9s %6s  %s\n' "openPhoto of / against" "open ms" "ref ms" ratio "open MiB" "ref MiB" ratio goal
row "12 MP HEIC with thumbnail / decode" heic_12mp_thumb.heic warmup.heic decode heic_12mp_thumb.heic warmup.heic "time <= 0.20"
row "12 MP HEIC / decode" heic_12mp.heic warmup.heic decode heic_12mp.heic warmup.heic "time <= 1.20"
row "48 MP HEIC / decode" heic_48mp.heic warmup.heic decode heic_48mp.heic warmup.heic "memory < 1.20"
row "24 MP DNG / 1620x1080 JPEG" raw_24mp.dng warmup.dng open preview.jpg warmup.jpg "time <= 1.00"
echo "($runs runs each: median time, largest peak-memory growth over the step; ref: libheif's whole decode"
echo " to RGB, or openPhoto of the JPEG; each path warmed up first by a small photo of its own kind)"
