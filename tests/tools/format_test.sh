#!/usr/bin/env bash
# The code is as .clang-format lays it out: any file that clang-format would
# change is named. Exit status 77 (skipped) without clang-format.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v clang-format >/dev/null || { echo "SKIPPED: clang-format is not installed"; exit 77; }
cd "$root"
changed=0
while IFS= read -r f; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f (clang-format -i $f)"
    changed=1
  fi
done < <(find dataflow ami model ibis host tests bench fuzz -name '*.cpp' -o -name '*.h' | grep -v corpus)
exit $changed
