#!/usr/bin/env bash
# Peak memory of the large view for a 50-megapixel JPEG (ImageMagick) and a
# 48-megapixel HEIC (heif-enc): the viewer runs under Xvfb with the photo,
# and once the main window has settled its peak is reset; then Enter opens
# the large view (fitted), "1" shows 100 % and a drag crosses the whole
# photo, so that every page of the sharper picture is drawn. Printed per
# step: the viewer's peak growth, the decoder worker's peak, their sum (the
# large view's cost; the worker starts with the view and ends with it), and
# the seconds from the key to an idle worker. RUNS runs, the largest sum
# kept. Limit: 250 MiB.
# Usage: [BUILD_DIR=build] bench/large_view_memory.sh [RUNS] [DISPLAY_NUMBER]   (defaults 2, 98)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
display=:${2:-98}
for tool in Xvfb xdotool convert heif-enc; do command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 1; }; done

# BUILD_DIR: an existing build to use as it is configured.
build=${BUILD_DIR:-build-largeview-bench}
[ -n "${BUILD_DIR:-}" ] || cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF >/dev/null
cmake --build $build -j2 --target exifviewer exifviewer-decoder >/dev/null
viewer_program=$build/shell/exifviewer

photos=$build/cache/large-view-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos" && mkdir -p "$photos"
  # Smooth colour fields under noise: JPEG and HEVC spend on it as on a photo.
  convert -size 433x289 plasma:fractal -blur 0x2 -resize '8660x5773!' -attenuate 0.4 +noise Gaussian \
    -quality 92 "$photos/50mp.jpg"
  convert -size 400x300 plasma:fractal -blur 0x2 -resize '8000x6000!' -attenuate 0.4 +noise Gaussian \
    -quality 95 "$photos/48mp-source.jpg"
  heif-enc -q 85 -o "$photos/48mp.heic" "$photos/48mp-source.jpg" >/dev/null
  rm "$photos/48mp-source.jpg"
  touch "$photos/done"
fi

home=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT
export DISPLAY=$display HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home
if ! xdotool getdisplaygeometry >/dev/null 2>&1; then
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
fi

kib() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/status"; }
cpu() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo gone; }
worker_of() { ps -o pid=,comm= --ppid "$1" | awk '$2 ~ /^exifviewer-dec/ {print $1; exit}'; }
# Until the process has used no processor time for a second.
wait_idle() {
  local before after
  for _ in $(seq 120); do
    before=$(cpu "$1"); sleep 1; after=$(cpu "$1")
    [ "$before" = "$after" ] && return 0
  done
}

largest_sum=0
for photo in "$photos/50mp.jpg" "$photos/48mp.heic"; do
  for run in $(seq "$runs"); do
    "$viewer_program" "$photo" >/dev/null 2>&1 &
    viewer=$!
    for _ in $(seq 60); do xdotool search --onlyvisible --pid $viewer >/dev/null 2>&1 && break; sleep 0.5; done
    wait_idle $viewer
    base=$(kib $viewer VmRSS)
    echo 5 > /proc/$viewer/clear_refs  # the peak starts again from here
    for step in fitted 100%; do
      started=$(date +%s.%N)
      if [ $step = fitted ]; then xdotool mousemove 960 540 key Return; else xdotool key 1; fi
      sleep 0.5
      worker=""
      for _ in $(seq 20); do worker=$(worker_of $viewer); [ -n "$worker" ] && break; sleep 0.25; done
      [ -n "$worker" ] && wait_idle "$worker"
      took=$(echo "$(date +%s.%N) - $started - 1" | bc)
      if [ $step = 100% ]; then
        for corners in "1800 1000 100 100" "100 1000 1800 100" "100 100 1800 1000"; do
          set -- $corners
          for _ in 1 2 3 4 5 6; do xdotool mousemove $1 $2 mousedown 1 mousemove $(( ($1 + $3) / 2 )) $(( ($2 + $4) / 2 )) mousemove $3 $4 mouseup 1; done
        done
        sleep 1
      fi
      viewer_growth=$(( $(kib $viewer VmHWM) - base ))
      worker_peak=$([ -n "$worker" ] && kib "$worker" VmHWM || echo 0)
      sum=$(( viewer_growth + worker_peak ))
      (( sum > largest_sum )) && largest_sum=$sum
      printf '%-10s run %d %-7s viewer +%6d KiB  worker %6d KiB  sum %4d MiB  worker idle after ~%.1f s\n' \
        "$(basename "$photo")" "$run" $step $viewer_growth $worker_peak $(( sum / 1024 )) "$took"
    done
    xdotool key Escape
    kill $viewer; wait $viewer 2>/dev/null || true
  done
done
echo "largest: $(( largest_sum / 1024 )) MiB (limit 250 MiB)"
