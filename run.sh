#!/usr/bin/env bash
# Installs what is missing, builds the viewer and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF
cmake --build build -j"$(nproc)"
exec build/shell/exifviewer "$@"
