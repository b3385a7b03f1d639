#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder, checks
# what it holds, installs it the way a user would, runs the installed
# programs, and removes it again.
# Usage: packaging/check_package.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
# dpkg-shlibdeps and file find the package's dependencies in its binaries.
scripts/deps.sh dpkg-dev file desktop-file-utils appstream

echo "== building the package"
rm -f "$build"/exifviewer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/exifviewer_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no package in $build"; exit 1; }
deb=${debs[0]}
echo "$(basename "$deb"): $(du -h "$deb" | cut -f1)"
dpkg-deb -f "$deb" Depends Recommends

echo "== what it holds"
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
dpkg-deb -x "$deb" "$staging"
for file in usr/bin/exifviewer usr/bin/exifreport usr/libexec/exifviewer/exifviewer-decoder \
    usr/share/applications/exifviewer.desktop \
    usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/exifviewer.png \
    usr/share/metainfo/com.example.exifviewer.metainfo.xml \
    usr/share/man/man1/exifviewer.1.gz usr/share/man/man1/exifreport.1.gz; do
  [ -s "$staging/$file" ] || { echo "missing: /$file"; exit 1; }
done
desktop-file-validate "$staging/usr/share/applications/exifviewer.desktop"
# The tree as installed: the metainfo's launchable must name the desktop entry.
appstreamcli validate-tree --no-net "$staging"

echo "== installed"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# Other apt runs on the same machine: apt waits for its own lock.
(cd "$build" && $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq ./exifviewer_*_amd64.deb)
removed=false
remove() {
  $removed && return
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 remove -y -qq exifviewer
  removed=true
}
trap 'remove; rm -rf "$staging"' EXIT

/usr/bin/exifreport --help | head -1
# A little-endian TIFF whose one directory entry names the camera's maker.
photo=$staging/photo.tif
printf 'II*\x00\x08\x00\x00\x00\x01\x00\x0f\x01\x02\x00\x06\x00\x00\x00\x1a\x00\x00\x00\x00\x00\x00\x00Canon\x00' >"$photo"
/usr/bin/exifreport "$photo" | tee "$staging/report.txt"
grep -q $'^厂商Canon\r$' "$staging/report.txt" || { echo "the installed exifreport did not report the photo"; exit 1; }
man -w exifreport exifviewer >/dev/null
# The viewer starts with every library and plugin it needs: still running
# when the time is up (status 124) means it did.
status=0
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$staging timeout 5 /usr/bin/exifviewer || status=$?
[ $status -eq 124 ] || { echo "the installed exifviewer ended with status $status"; exit 1; }

# The decoder worker loads its libraries: run by hand, without the viewer's
# socket, it says what it is and ends with status 14.
status=0
/usr/libexec/exifviewer/exifviewer-decoder 2>/dev/null || status=$?
[ $status -eq 14 ] || { echo "the installed decoder worker ended with status $status"; exit 1; }

echo "== removed"
remove
[ ! -e /usr/bin/exifreport ] && [ ! -e /usr/bin/exifviewer ] && [ ! -e /usr/libexec/exifviewer ] ||
  { echo "the programs are still installed"; exit 1; }
echo "package checked"
