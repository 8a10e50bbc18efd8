#!/usr/bin/env bash
# The code is as .clang-format lays it out: any file that clang-format would
# change is named. Exit status 77 (skipped) without clang-format.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v clang-format >/dev/null || { echo "SKIPPED: clang-format is not installed"; exit 77; }
cd "$root"
# Files in batches, one clang-format per core; each file it would change is
# named in its diagnostics ("file:line:col: error: code should be clang-formatted").
out=$(find dataflow ami model ibis host tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print |
  grep -v corpus | xargs -P "$(nproc)" -n 16 clang-format --dry-run --Werror 2>&1 >/dev/null)
status=$?
files=$(grep -oE '^[^:]+:[0-9]+:[0-9]+: (error|warning)' <<<"$out" | cut -d: -f1 | sort -u)
for f in $files; do echo "not formatted: $f (clang-format -i $f)"; done
if [ -z "$files" ] && [ "$status" -ne 0 ]; then
  echo "clang-format failed:"
  echo "$out"
fi
[ -z "$files" ] && [ "$status" -eq 0 ]
