#!/usr/bin/env bash
# Fails when a C++ file does not follow .clang-format; names the files.
# Usage: scripts/check_format.sh   (run clang-format -i on the named files to mend)
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted (clang-format -i FILE):\n' >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "all C++ files follow .clang-format"
