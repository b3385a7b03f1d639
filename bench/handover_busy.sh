#!/usr/bin/env bash
# How soon a running viewer answers a second start's hand-over while it opens
# a photo: the viewer is started with a photo (a 12 MP camera JPEG, or one of
# the costly files of bench/costly_cost.sh), and 0.2 s later a second start
# hands it a small photo; the figure is the second start's whole run, from
# its launch until the running viewer has taken the path and it has quit
# (most of it the second start's own start-up: compare with the idle row,
# where the viewer had nothing left to do). RUNS rounds, median and largest.
# Usage: bench/handover_busy.sh [RUNS]   (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target exifviewer exifviewer-decoder panel_bench make_costly_photos >/dev/null

photos=$build/cache/panel-bench-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos"
  QT_QPA_PLATFORM=offscreen $build/bench/panel_bench generate "$photos" >/dev/null
  touch "$photos/done"
fi
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
$build/bench/make_costly_photos "$files" >/dev/null

python3 - "$build/shell/exifviewer" "$runs" "$photos/warmup.jpg" "$photos/warmup.jpg" "$photos/photo_12mp.jpg" \
  "$files/grid_20000.heic" "$files/overlay_9459.heic" "$files/deflate_7999.tif" <<'PY'
import os, statistics, subprocess, sys, tempfile, time
viewer, runs, handed, *opened = sys.argv[1], int(sys.argv[2]), sys.argv[3], *sys.argv[4:]
names = ["idle (a small photo)"] + [os.path.basename(p) for p in opened[1:]]
print(f"{'viewer opening':26s} {'median ms':>10s} {'largest ms':>10s}")
for name, photo in zip(names, opened):
    times = []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as runtime, tempfile.TemporaryDirectory() as config:
            os.chmod(runtime, 0o700)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=config)
            first = subprocess.Popen([viewer, photo], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.2)
            start = time.perf_counter()
            second = subprocess.run([viewer, handed], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    timeout=30)
            times.append((time.perf_counter() - start) * 1000)
            first.kill()
            first.wait()
            if second.returncode != 0:
                print(f"  second start ended with {second.returncode}")
    print(f"{name:26s} {statistics.median(times):10.1f} {max(times):10.1f}")
print(f"({runs} rounds each; the second start's whole run, its own start-up included)")
PY
