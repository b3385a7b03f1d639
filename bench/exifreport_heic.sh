#!/usr/bin/env bash
# Whole-process time of exifreport over a batch of 12-megapixel HEIC photos
# with camera Exif, against exiftool over the same batch and against
# exifreport over JPEGs that carry the same Exif (warm page cache, repeated
# runs). The HEICs are copies of one photo that heif-enc encodes; exiftool
# copies into each the Exif of the JPEG of the same name.
# With BASELINE set to another build's exifreport, that one runs over both
# batches in the same hyperfine session, and then the two run by turns (see
# interleaved_ratio).
# Usage: [BASELINE=path/to/exifreport] bench/exifreport_heic.sh [COUNT]   (default 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/camera_batch.sh
count=${1:-1000}
scripts/deps.sh libimage-exiftool-perl hyperfine imagemagick libheif-examples

build=build-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_GUI=OFF -DEXIFVIEWER_TESTS=OFF \
  -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target exifreport make_camera_batch >/dev/null

batch=$build/cache/exifreport-heic-batch-$count
if [ ! -f "$batch/done" ]; then
  rm -rf "$batch" && mkdir -p "$batch/jpeg" "$batch/heic"
  camera_jpegs $build "$batch/jpeg" "$count"
  heif-enc -q 50 -o "$batch/body.heic" "$batch/body.jpg" >/dev/null
  for jpeg in "$batch"/jpeg/*.JPG; do
    name=$(basename "$jpeg" .JPG)
    cp "$batch/body.heic" "$batch/heic/$name.HEIC"
  done
  exiftool -q -q -overwrite_original -tagsFromFile "$batch/jpeg/%f.JPG" -exif:all "$batch/heic" || true
  touch "$batch/done"
fi
heics=("$batch"/heic/*.HEIC)
jpegs=("$batch"/jpeg/*.JPG)
echo "batch: ${#heics[@]} HEICs of $(du -sh "$batch/heic" | cut -f1), ${#jpegs[@]} JPEGs of $(du -sh "$batch/jpeg" | cut -f1)"
# The same Exif in both (offsets aside, which exiftool lays out anew).
echo "report lines: HEIC $($build/exifreport/exifreport "${heics[0]}" | wc -l)," \
  "JPEG $($build/exifreport/exifreport "${jpegs[0]}" | wc -l)"

ours=$(mktemp) && peer=$(mktemp)
baseline=()
[ -n "${BASELINE:-}" ] && baseline=(-n "baseline HEIC" "$BASELINE ${heics[*]}" -n "baseline JPEG" "$BASELINE ${jpegs[*]}")
hyperfine --warmup 2 --runs 10 -N --export-json "$ours" \
  -n "exifreport HEIC" "$build/exifreport/exifreport ${heics[*]}" \
  -n "exifreport JPEG" "$build/exifreport/exifreport ${jpegs[*]}" "${baseline[@]}" >/dev/null
hyperfine --warmup 1 --runs 3 -N --export-json "$peer" \
  -n "exiftool HEIC" "exiftool ${heics[*]}" >/dev/null
python3 - "$ours" "$peer" <<'PY'
import json, sys
results = {}
for path in sys.argv[1:]:
    results.update({r["command"]: r for r in json.load(open(path))["results"]})
heic = results["exifreport HEIC"]["mean"]
for name in ("exifreport HEIC", "exifreport JPEG", "baseline HEIC", "baseline JPEG", "exiftool HEIC"):
    if name not in results:
        continue
    r = results[name]
    print(f"{name:16s} mean {r['mean']*1000:9.1f} ms  (min {r['min']*1000:.1f}, max {r['max']*1000:.1f}, "
          f"{len(r['times'])} runs)  {r['mean']/heic:7.2f}x exifreport HEIC")
print(f"exiftool / exifreport over the HEICs: {results['exiftool HEIC']['mean'] / heic:.1f}x (goal: 50x or more)")
print(f"exifreport HEIC / JPEG: {heic / results['exifreport JPEG']['mean']:.2f} (goal: 2 or less)")
for kind in ("HEIC", "JPEG"):
    if f"baseline {kind}" in results:
        ratio = results[f"exifreport {kind}"]["mean"] / results[f"baseline {kind}"]["mean"]
        print(f"exifreport / baseline over the {kind}s: {ratio:.3f} (goal: 1.2 or less)")
PY
rm -f "$ours" "$peer"
if [ -n "${BASELINE:-}" ]; then
  interleaved_ratio "HEICs" 20 "$build/exifreport/exifreport" "$BASELINE" "${heics[@]}"
  interleaved_ratio "JPEGs" 20 "$build/exifreport/exifreport" "$BASELINE" "${jpegs[@]}"
fi
