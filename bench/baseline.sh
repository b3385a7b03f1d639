# Sourced by benchmark scripts: builds the photo panel's benchmark at an
# earlier commit, from that commit's tree in the build's cache, once.
# Usage: baseline_panel_bench BUILD COMMIT   (prints the program's path)
baseline_panel_bench() {
  local build=$1 commit=$2
  local tree=$build/cache/baseline-$commit
  if [ ! -x "$tree/$build/bench/panel_bench" ]; then
    rm -rf "$tree" && mkdir -p "$tree"
    git archive "$commit" | tar -x -C "$tree"
    (cd "$tree" && cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null &&
      cmake --build "$build" -j2 --target panel_bench >/dev/null)
  fi
  echo "$tree/$build/bench/panel_bench"
}
