# Sourced by the exifreport benchmarks. camera_jpegs BUILD DIR COUNT writes
# COUNT camera JPEGs into DIR: a 12-megapixel body of about 5 MB, like a
# camera's, with a 160x120 thumbnail and camera Exif (make_camera_batch);
# body.jpg is left beside DIR for benchmarks that encode it otherwise.
camera_jpegs() {
  local build=$1 dir=$2 count=$3 work
  work=$(dirname "$dir")
  mkdir -p "$dir"
  convert -size 4000x3000 -seed 7 plasma:olive-skyblue -attenuate 0.3 +noise Gaussian -quality 90 "$work/body.jpg"
  convert "$work/body.jpg" -resize 160x120 -quality 80 -strip "$work/thumb.jpg"
  "$build/bench/make_camera_batch" "$work/body.jpg" "$work/thumb.jpg" "$dir" "$count"
}

# interleaved_ratio NAME RUNS PROGRAM BASELINE FILE...: runs the two programs
# over the files by turns, RUNS times each, and prints their median times and
# the ratio. Taking turns keeps a change in the machine's load (other builds)
# from falling on one of the two, as it can in two blocks of runs.
interleaved_ratio() {
  python3 - "$@" <<'PY'
import statistics, subprocess, sys, time
name, runs, program, baseline, files = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5:]
times = {program: [], baseline: []}
for i in range(runs + 1):
    for command in ((program, baseline) if i % 2 == 0 else (baseline, program)):
        start = time.perf_counter()
        subprocess.run([command] + files, stdout=subprocess.DEVNULL, check=True)
        if i > 0:  # the first round warms up
            times[command].append(time.perf_counter() - start)
ours, base = statistics.median(times[program]), statistics.median(times[baseline])
print(f"{name}, by turns ({runs} runs each): exifreport median {ours * 1000:.1f} ms, baseline median "
      f"{base * 1000:.1f} ms, ratio {ours / base:.3f} (goal: 1.2 or less)")
PY
}
