#!/usr/bin/env bash
# The viewer as its user sees it, on a real X screen (its own Xvfb), against
# itself at BASELINE and against eog, ristretto and gThumb, whole processes,
# the same photos, RUNS rounds by turns:
#   open 12 MP, open 50 MP (with and without restart markers): from the
#     program's start until the photo is on screen; and the peak resident size
#     of the program and its children a second later (50 MP);
#   → at a person's pace: each key (every 500 ms) until the next photo shows
#     (goal: median at most 16 ms);
#   → repeating faster than decodes: five keys 30 ms apart, from the last key
#     until the last photo shows;
#   first → right after the open: the key pressed as soon as the first photo
#     is on screen, until the second shows.
# bench/screen_probe sees a photo by its colour: each is fine noise (which
# costs a decoder what a camera photo's detail does) around a mean colour of
# its own, which any preview shows as a plain field.
# Usage: [BASELINE=82b2e9b] [SHOTS=DIR] bench/on_screen.sh [RUNS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
baseline=${BASELINE:-82b2e9b}
scripts/deps.sh libjpeg-turbo-progs imagemagick xvfb libx11-dev libxtst-dev libxdamage-dev libxext-dev \
  eog ristretto gthumb dbus

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
# The viewer finds its decoder worker beside it (libexec/exifviewer in the build).
cmake --build $build -j2 --target exifviewer exifviewer-decoder screen_probe >/dev/null
source bench/baseline.sh
old_viewer=$(baseline_program $build "$baseline" shell/exifviewer)
probe=$build/bench/screen_probe

# One colour per photo: twelve to step through, three to open alone; each
# channel 40, 120 or 200, no greys (the viewers' own chrome) nor the olive
# of our title bar.
colours=(c82828 c87828 c8c828 78c828 28c828 28c878 28c8c8 2878c8 2828c8 7828c8 c828c8 c82878 782828 287828 282878)
photos=$build/cache/on-screen-photos
if [ "$(cat "$photos/done" 2>/dev/null)" != "${colours[*]}" ]; then
  rm -rf "$photos" && mkdir -p "$photos"/{step,open12,open50,open50r}
  # Noise of sigma about 7 at quality 92: 5.5 MB at 12 MP, as a camera's;
  # sigma 4.5 at 50 MP gives 15 MB.
  for i in $(seq 0 11); do
    convert -size 4000x3000 "xc:#${colours[$i]}" -attenuate 0.35 +noise Gaussian -quality 92 \
      "$photos/step/photo_$(printf %02d $((i + 1))).jpg"
    # gThumb sorts by time: the same order as the names.
    touch -d "@$((1704067200 + i * 60))" "$photos/step/photo_$(printf %02d $((i + 1))).jpg"
  done
  convert -size 4000x3000 "xc:#${colours[12]}" -attenuate 0.35 +noise Gaussian -quality 92 "$photos/open12/photo.jpg"
  convert -size 8688x5792 "xc:#${colours[13]}" -attenuate 0.25 +noise Gaussian -quality 92 "$photos/open50/photo.jpg"
  convert -size 8688x5792 "xc:#${colours[14]}" -attenuate 0.25 +noise Gaussian -quality 92 "$photos/open50r/source.jpg"
  jpegtran -copy all -restart 1 "$photos/open50r/source.jpg" >"$photos/open50r/photo.jpg"
  rm "$photos/open50r/source.jpg"
  echo "${colours[*]}" >"$photos/done"
fi

work=$(mktemp -d)
xvfb="" buses=()
cleanup() {
  for bus in "${buses[@]}"; do kill "$bus" 2>/dev/null || true; done
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=:97
Xvfb :97 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
# No accessibility bus to wait for; X for everyone.
export NO_AT_BRIDGE=1 GTK_A11Y=none GDK_BACKEND=x11 QT_QPA_PLATFORM=xcb

viewers=(ours baseline eog ristretto gthumb)
declare -A program=([ours]=$build/shell/exifviewer [baseline]=$old_viewer [eog]=eog [ristretto]=ristretto [gthumb]=gthumb)
# Each viewer's next-photo key. gThumb's Right and space do nothing after an
# open (its picture does not hold the keyboard focus); Page_Down steps.
declare -A next_key=([ours]=Right [baseline]=Right [eog]=Right [ristretto]=Right [gthumb]=Page_Down)
# Each viewer has its own home, settings and session bus (GSettings of the
# peers go through it; ours hands a photo to a running copy through
# XDG_RUNTIME_DIR), kept across the rounds as a user's would be.
for v in "${viewers[@]}"; do
  mkdir -p "$work/$v/home" "$work/$v/config" "$work/$v/runtime"
  chmod 700 "$work/$v/runtime"
  address=$(HOME=$work/$v/home XDG_CONFIG_HOME=$work/$v/config XDG_RUNTIME_DIR=$work/$v/runtime \
    dbus-daemon --session --fork --print-address=1 --print-pid=3 3>"$work/$v/bus.pid")
  buses+=("$(cat "$work/$v/bus.pid")")
  echo "$address" >"$work/$v/bus"
done
# Without a thumbnail service (tumbler) ristretto opens with a dialog that
# covers the photo; this is its "do not show again".
mkdir -p "$work/ristretto/config/xfce4/xfconf/xfce-perchannel-xml"
cat >"$work/ristretto/config/xfce4/xfconf/xfce-perchannel-xml/ristretto.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="ristretto" version="1.0">
  <property name="errors" type="empty">
    <property name="missing-thumbnailer" type="bool" value="false"/>
  </property>
</channel>
XML
run_as() {
  local v=$1
  shift
  HOME=$work/$v/home XDG_CONFIG_HOME=$work/$v/config XDG_RUNTIME_DIR=$work/$v/runtime \
    DBUS_SESSION_BUS_ADDRESS=$(cat "$work/$v/bus") "$@"
}

results=$work/results
mkdir -p "$results"
# Appends the probe's VALUE for KEY to the viewer's measure, or "fail".
record() {
  local v=$1 measure=$2 key=$3 output=$4
  local value
  value=$(awk -v key="$key" '$1 == key {print $2}' <<<"$output")
  echo "${value:-fail}" >>"$results/$v.$measure"
}
step_colours=("${colours[@]:0:12}" )
hex() { for c in "$@"; do printf '#%s ' "$c"; done; }

measure() {
  local v=$1 out pid
  local cmd=("${program[$v]}")
  for name in open12:12 open50:13 open50r:14; do
    out=$(run_as "$v" $probe open "#${colours[${name#*:}]}" -- "${cmd[@]}" "$photos/${name%:*}/photo.jpg" 2>>"$work/$v.log") || true
    record "$v" "${name%:*}" ms "$out"
    [ "${name%:*}" = open12 ] || record "$v" "${name%:*}_mem" hwm_kib "$out"
  done
  # First the key right after the open, then a person's pace, then a burst.
  out=$(run_as "$v" $probe open --then "${next_key[$v]}" "#${colours[1]}" "#${colours[0]}" -- \
    "${cmd[@]}" "$photos/step/photo_01.jpg" 2>>"$work/$v.log") || true
  record "$v" first then_ms "$out"
  out=$(run_as "$v" $probe open --keep "#${colours[0]}" -- "${cmd[@]}" "$photos/step/photo_01.jpg" 2>>"$work/$v.log") || true
  pid=$(awk '$1 == "pid" {print $2}' <<<"$out")
  if [ -z "$pid" ]; then
    echo fail >>"$results/$v.pace"
    echo fail >>"$results/$v.burst"
    return
  fi
  sleep 1  # settled, as after a look at the photo
  run_as "$v" $probe step "$pid" "${next_key[$v]}" 500 $(hex "${step_colours[@]:1:6}") 2>>"$work/$v.log" |
    awk '$1 == "ms" {print $2} END {if (NR < 6) print "fail"}' >>"$results/$v.pace" || true
  sleep 1
  out=$(run_as "$v" $probe burst "$pid" "${next_key[$v]}" 30 $(hex "${step_colours[@]:7:5}") 2>>"$work/$v.log") || true
  record "$v" burst ms "$out"
  kill -- -"$pid" 2>/dev/null || true
  sleep 0.5
  kill -9 -- -"$pid" 2>/dev/null || true
}

# A first untimed round loads every program and photo into the page cache;
# with SHOTS=DIR it saves each viewer's screen, to see that the colour found
# is the photo's (not a thumbnail's, nor a dialog's).
for v in "${viewers[@]}"; do
  out=$(run_as "$v" $probe --timeout 60 open --keep "#${colours[0]}" -- "${program[$v]}" "$photos/step/photo_01.jpg" 2>>"$work/$v.log") || true
  pid=$(awk '$1 == "pid" {print $2}' <<<"$out")
  [ -n "${SHOTS:-}" ] && mkdir -p "$SHOTS" && import -window root "$SHOTS/$v.png"
  [ -n "$pid" ] && kill -- -"$pid" 2>/dev/null
  sleep 0.5
done
rm -f "$results"/*
for ((round = 1; round <= runs; round++)); do
  for v in "${viewers[@]}"; do measure "$v"; done
done

python3 - "$results" "$runs" "$baseline" "${viewers[@]}" <<'PY'
import os, statistics, sys
results, runs, baseline, viewers = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
measures = [("open12", "open 12 MP (ms)"), ("open50", "open 50 MP (ms)"),
            ("open50r", "open 50 MP restarts (ms)"), ("open50_mem", "peak, 50 MP (MiB)"),
            ("open50r_mem", "peak, 50 MP rst. (MiB)"), ("pace", "→ every 500 ms (ms)"),
            ("burst", "→ ×5, 30 ms apart (ms)"), ("first", "first → after open (ms)")]
peers = [v for v in viewers if v not in ("ours", "baseline")]
def median(v, key):
    try:
        values = open(os.path.join(results, f"{v}.{key}")).read().split()
    except FileNotFoundError:
        return None, 0
    good = [float(x) for x in values if x != "fail"]
    if key.endswith("_mem"):
        good = [x / 1024 for x in good]
    return (statistics.median(good) if good else None), len(values) - len(good)
names = {"baseline": baseline}
print(f"{'measure':26s}" + "".join(f"{names.get(v, v):>11s}" for v in viewers) + f"{'÷base':>8s}{'÷best peer':>12s}")
notes = []
for key, title in measures:
    row, figures = f"{title:26s}", {}
    for v in viewers:
        value, failed = median(v, key)
        figures[v] = value
        cell = "failed" if value is None else f"{value:.1f}" + ("*" if failed else "")
        if failed and value is not None:
            notes.append(f"{v}, {title}: {failed} of the runs failed (median of the rest)")
        row += f"{cell:>11s}"
    ours, base = figures.get("ours"), figures.get("baseline")
    best = min((figures[p] for p in peers if figures[p] is not None), default=None)
    ratio = lambda a, b: f"{a / b:.2f}" if a is not None and b else "-"
    print(row + f"{ratio(ours, base):>8s}{ratio(ours, best):>12s}")
print(f"(medians of {runs} rounds by turns; ratios are ours ÷ the other, below 1 is faster or smaller;"
      " a peak is the program's and its children's, summed;\n failed: the photo was not on screen within"
      " 20 s of the start or the key in any round)")
for note in notes:
    print(note)
PY
