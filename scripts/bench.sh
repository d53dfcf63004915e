#!/usr/bin/env bash
# Builds the release (native) preset's benchmark targets in their own build
# directory and prints every figure beside its baseline from the same run.
#   scripts/bench.sh [BUILD_DIR]       default build/bench
#   scripts/bench.sh --windows [TRIALS [MS [FIGURE]]]   the COM path under Wine (scripts/com-bench.sh)
# Extra: BUILD_DIR/bench/moravex_bench --trace-allocations prints where every
# allocation of one steady-state request and answer comes from.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
  shift
  exec scripts/com-bench.sh "$@"
fi
build="${1:-build/bench}"
scripts/install-deps.sh
cmake --preset native -B "$build" >/dev/null
cmake --build "$build" -j2 --target moravex_bench moravex_blaster
"$build/bench/moravex_bench"
