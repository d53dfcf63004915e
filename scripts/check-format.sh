#!/bin/sh
# Fails when a C or C++ file of the tree differs from what .clang-format makes of it.
# Uses Debian's clang-format (CLANG_FORMAT overrides); prints the files that differ.
# Usage: scripts/check-format.sh [source root]
set -eu
root=${1:-$(dirname "$0")/..}
cd "$root"
format=${CLANG_FORMAT:-clang-format}
if ! command -v "$format" >/dev/null 2>&1; then
  echo "check-format: $format not found (apt-get install clang-format)" >&2
  exit 1
fi
files=$(git ls-files '*.cpp' '*.h' '*.c')
status=0
for file in $files; do
  if ! "$format" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    status=1
  fi
done
if [ "$status" -ne 0 ]; then
  echo "check-format: run $format -i on the files above" >&2
fi
exit $status
