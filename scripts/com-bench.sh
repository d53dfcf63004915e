#!/usr/bin/env bash
# Builds the mingw-x64 preset's MORAVEX1.ocx and moravex_com_bench and runs the
# COM path's figures under Wine, in the preset's private prefix:
#   scripts/com-bench.sh [TRIALS [MILLISECONDS_PER_TRIAL [FIGURE]]]  default 7 300, all
# Nothing is registered: the benchmark loads the .ocx by path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 -j2 --target MORAVEX1 moravex_com_bench
build=$PWD/build/mingw-x64
scripts/wine-run.sh "$build/wineprefix" "$build/bench/com/moravex_com_bench.exe" \
  "Z:$build/src/windows/library/MORAVEX1.ocx" "${1:-7}" "${2:-300}" "${3:-}"
