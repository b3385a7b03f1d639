# Sourced by benchmark scripts: builds a program at an earlier commit, from
# that commit's tree in the build's cache, once.
# Usage: baseline_program BUILD COMMIT PATH   (PATH inside the build folder,
#        e.g. shell/exifviewer; its file name is the target built; prints the
#        program's path)
#        baseline_panel_bench BUILD COMMIT    (the same for bench/panel_bench)
baseline_program() {
  local build=$1 commit=$2 program=$3
  local tree=$build/cache/baseline-$commit
  if [ ! -x "$tree/$build/$program" ]; then
    # A fresh tree only when nothing was built there yet: a second target
    # reuses the objects of the first.
    if [ ! -f "$tree/$build/CMakeCache.txt" ]; then
      rm -rf "$tree" && mkdir -p "$tree"
      git archive "$commit" | tar -x -C "$tree"
    fi
    (cd "$tree" && cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXIFVIEWER_TESTS=OFF -DEXIFVIEWER_BENCH=ON >/dev/null &&
      cmake --build "$build" -j2 --target "$(basename "$program")" >/dev/null)
  fi
  echo "$tree/$build/$program"
}

baseline_panel_bench() { baseline_program "$1" "$2" bench/panel_bench; }
