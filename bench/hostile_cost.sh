#!/usr/bin/env bash
# What crafted files that are small on disk but claim gigabytes cost: for each,
# exifreport's time and peak memory above its idle peak (the same program
# reporting a small photo), and the photo panel's openPhoto time and peak
# memory growth over the idle program (bench/panel_bench cost). RUNS runs of
# each, the median time and the largest memory printed. Limits: 0.5 s and
# 100 MiB above idle. A run that does not finish in 20 s is stopped. The
# "-1x1" TIFFs hold a 1x1 picture too, so that the panel's decoder opens
# them and the panel lists their metadata; the other crafted files it
# refuses before reading their metadata. The "xmp" files carry hostile XMP
# packets (a million keywords, a thousand levels). "comments-after-scan"
# holds 100,000 comments after its image data, which libjpeg reads while
# decoding. The "claiming" JPEGs are progressive
# files of 3 MB claiming 40000 x 40000 pixels (a full decode would keep 3.2 GB
# of coefficients), one complete, one with its DC scan alone.
# Usage: bench/hostile_cost.sh [RUNS]   (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
scripts/deps.sh

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target exifreport panel_bench make_claiming_jpeg >/dev/null
bench=$build/bench/panel_bench
report=$build/exifreport/exifreport
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

photos=$build/cache/panel-bench-photos
if [ ! -f "$photos/done" ]; then
  rm -rf "$photos"
  $bench generate "$photos"
  touch "$photos/done"
fi
warmup=$photos/warmup.jpg

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
python3 - "$files" <<'PY'
import os, struct, sys, zlib
out = sys.argv[1]
GiB = 1 << 30

def sparse(name, size, pieces):
    with open(os.path.join(out, name), "wb") as f:
        for offset, data in pieces:
            f.seek(offset)
            f.write(data)
        f.truncate(size)

def tiff(tag, kind, count, value_at, picture=False):
    """IFD0 with one entry claiming `count` elements at `value_at`; with
    `picture`, also the tags of a 1x1 grey picture whose pixel lies at 255,
    so that the panel's decoder opens it."""
    entries = [(tag, kind, count, value_at)]
    if picture:
        entries += [(0x100, 4, 1, 1), (0x101, 4, 1, 1), (0x102, 4, 1, 8), (0x103, 4, 1, 1), (0x106, 4, 1, 1),
                    (0x111, 4, 1, 255), (0x115, 4, 1, 1), (0x116, 4, 1, 1), (0x117, 4, 1, 1)]
    entries.sort()
    ifd = struct.pack("<H", len(entries)) + b"".join(struct.pack("<HHII", *e) for e in entries) + struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", 8) + ifd

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

# A 4 KB TIFF claiming one 2 GB text (an image description), without and
# with a picture.
for name, picture in (("text-2g.tif", False), ("text-2g-1x1.tif", True)):
    sparse(name, 4096 + 2 * GiB, [(0, tiff(0x010E, 2, 2 * GiB, 4096, picture)), (255, b"\x80"), (4096, b"A" * 4096)])
# A 512 MB TIFF whose one tag, unknown to the list, claims nearly all of it.
for name, picture in (("unknown-512m.tif", False), ("unknown-512m-1x1.tif", True)):
    sparse(name, 512 << 20, [(0, tiff(0xC4A5, 7, (512 << 20) - 4096, 4096, picture)), (255, b"\x80")])
# A PNG and a WebP whose header is followed by 2 GB of nothing.
ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
sparse("empty-2g.png", 2 * GiB, [(0, b"\x89PNG\r\n\x1a\n" + ihdr)])
sparse("empty-2g.webp", 2 * GiB, [(0, b"RIFF" + struct.pack("<I", 2 * GiB - 8) + b"WEBP")])
# XMP packets that claim a million keywords (9 MB in a TIFF's XMP tag; the
# same deflated to a few kilobytes in a PNG's iTXt chunk), that nest a
# thousand levels, and that fill a JPEG's XMP segment with keywords.
def xmp(body):
    return (b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
            b'<rdf:Description xmlns:dc="http://purl.org/dc/elements/1.1/">' + body +
            b'</rdf:Description></rdf:RDF></x:xmpmeta>')
def keywords(count):
    return xmp(b"<dc:subject><rdf:Bag>" + b"<rdf:li>k</rdf:li>" * count + b"</rdf:Bag></dc:subject>")
def jpeg_with(app1):
    return b"\xff\xd8\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + b"\xff\xd9"
million = keywords(1_000_000)
with open(os.path.join(out, "xmp-million-keywords.tif"), "wb") as f:
    f.write(tiff(0x02BC, 7, len(million), 4096, True).ljust(4096, b"\0") + million)
with open(os.path.join(out, "xmp-million-keywords.png"), "wb") as f:
    itxt = b"XML:com.adobe.xmp\0\x01\x00\0\0" + zlib.compress(million, 9)
    f.write(b"\x89PNG\r\n\x1a\n" + ihdr + png_chunk(b"iTXt", itxt) +
            png_chunk(b"IDAT", zlib.compress(b"\0\x80")) + png_chunk(b"IEND", b""))
header = b"http://ns.adobe.com/xap/1.0/\0"
deep = xmp(b'<dc:title xmlns:a="a">' + b"<a:b>" * 1000 + b"</a:b>" * 1000 + b"</dc:title>")
with open(os.path.join(out, "xmp-1000-levels.jpg"), "wb") as f:
    f.write(jpeg_with(header + deep))
with open(os.path.join(out, "xmp-keywords-64k.jpg"), "wb") as f:
    f.write(jpeg_with(header + keywords(3500)))
# JPEGs of a million and of ten million empty comment segments.
for name, count in (("segments-4m.jpg", 1_000_000), ("segments-40m.jpg", 10_000_000)):
    with open(os.path.join(out, name), "wb") as f:
        f.write(b"\xff\xd8" + b"\xff\xfe\x00\x02" * count + b"\xff\xd9")
PY
$build/bench/make_claiming_jpeg "$files" >/dev/null
# The small photo (decoded by libjpeg, not the eighth decoder) with 100,000
# comments between its scan and its end.
python3 - "$files" "$warmup" <<'PY'
import os, sys
small = open(sys.argv[2], "rb").read()
with open(os.path.join(sys.argv[1], "comments-after-scan.jpg"), "wb") as f:
    f.write(small[:-2] + b"\xff\xfe\x00\x02" * 100_000 + small[-2:])
PY
mkfifo "$files/fifo.jpg"

median() { python3 -c 'import statistics, sys; print(f"{statistics.median(float(x) for x in sys.argv[1:]):.3f}")' "$@"; }
largest() { python3 -c 'import sys; print(max(int(x) for x in sys.argv[1:]))' "$@"; }

# exifreport: "seconds peak_kib" of one run, or "timeout".
report_run() {
  local stats status=0
  stats=$(mktemp)
  /usr/bin/time -o "$stats" -f "%e %M" timeout 20 "$report" "$1" >/dev/null 2>&1 || status=$?
  if [ "$status" = 124 ]; then echo timeout; else tail -n 1 "$stats"; fi
  rm -f "$stats"
}

idle_kib=()
for ((i = 0; i < runs; i++)); do idle_kib+=("$(report_run "$warmup" | cut -d' ' -f2)"); done
idle=$(largest "${idle_kib[@]}")
echo "exifreport idle peak (reporting $(basename "$warmup")): $((idle / 1024)) MiB"
printf '%-22s %10s %10s   %12s %12s %8s\n' file "report s" "report MiB" "openPhoto s" "openPhoto MiB" opened
for file in text-2g.tif text-2g-1x1.tif unknown-512m.tif unknown-512m-1x1.tif empty-2g.png empty-2g.webp segments-4m.jpg segments-40m.jpg \
    claiming_dc_ac.jpg claiming_dc_only.jpg comments-after-scan.jpg xmp-million-keywords.tif xmp-million-keywords.png xmp-1000-levels.jpg \
    xmp-keywords-64k.jpg fifo.jpg; do
  path=$files/$file
  times=() peaks=() ptimes=() ppeaks=() opened=-
  for ((i = 0; i < runs; i++)); do
    read -r seconds kib < <(report_run "$path") || true
    if [ "$seconds" = timeout ]; then times+=(20); peaks+=(0); else times+=("$seconds"); peaks+=("$((kib - idle))"); fi
    out=$(timeout 20 "$bench" cost "$path" "$warmup" 2>/dev/null) || out=""
    if [ -z "$out" ]; then
      ptimes+=(20000); ppeaks+=(0)
    else
      ptimes+=("$(awk '/^ms /{print $2}' <<<"$out")")
      ppeaks+=("$(awk '/^peak_kib /{print $2}' <<<"$out")")
      opened=$(awk '/^opened /{print $2}' <<<"$out")
    fi
  done
  python3 - "$file" "$(median "${times[@]}")" "$(largest "${peaks[@]}")" \
    "$(median "${ptimes[@]}")" "$(largest "${ppeaks[@]}")" "$opened" <<'PY'
import sys
name, seconds, kib, ms, pkib, opened = sys.argv[1:]
seconds, kib, ms, pkib = float(seconds), int(kib), float(ms), int(pkib)
def mark(ok):
    return "" if ok else " !"
def figures(stopped, time, limit, kib):
    if stopped:
        return "stopped", "-"
    return f"{time:.2f}{mark(time <= limit)}", f"{kib / 1024:.1f}{mark(kib <= 100 * 1024)}"
report, report_mib = figures(seconds >= 20, seconds, 0.5, kib)
panel, panel_mib = figures(ms >= 20000, ms / 1000, 0.5, pkib)
print(f"{name:22s} {report:>10s} {report_mib:>10s}   {panel:>12s} {panel_mib:>12s} {opened:>8s}")
PY
done
echo "($runs runs each: median time, largest peak memory above idle; ! marks a figure over 0.5 s or 100 MiB;"
echo " a stopped panel run ran into the 20 s limit)"
