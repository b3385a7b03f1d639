#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
# exiftool and exiv2 are the peer readers the oracle test holds ours against;
# heif-enc (libheif-examples) and exiftool write the HEIF and turned photos of
# the preview tests.
scripts/deps.sh libimage-exiftool-perl exiv2 libheif-examples
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXIFVIEWER_TESTS=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
