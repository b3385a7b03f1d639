#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
# exiftool and exiv2 are the peer readers the oracle test holds ours against,
# heif-enc and ImageMagick make its HEIC, AVIF and raw-profile PNG photos (and
# ImageMagick the progressive JPEGs of the preview decoder's tests, heif-enc the
# HEIF photos of the preview tests); the
# validators check the desktop entry, the AppStream metainfo and the man pages.
scripts/deps.sh libimage-exiftool-perl exiv2 libheif-examples imagemagick desktop-file-utils appstream man-db
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXIFVIEWER_TESTS=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
