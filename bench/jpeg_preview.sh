#!/usr/bin/env bash
# The JPEG preview decoder alone over 12, 24 and 50 megapixel JPEGs (baseline
# 4:2:0 and 4:2:2, progressive 4:2:0) against libjpeg's eighth-size decode of
# the same bytes: REPS repetitions of each, the median, mean and spread
# printed. Other arguments go to the benchmark (--benchmark_filter=preview/).
# Usage: bench/jpeg_preview.sh [REPS] [BENCHMARK-ARGS...]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${1:-5}
shift || true
scripts/deps.sh

build=build-panel-bench
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null
cmake --build $build -j2 --target jpeg_preview_bench >/dev/null
$build/bench/jpeg_preview_bench --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_counters_tabular=true "$@"
