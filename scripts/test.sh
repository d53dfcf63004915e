#!/usr/bin/env bash
# Builds and runs every test: the release and sanitizer builds, a bounded fuzz
# run, and the COM control for x64 and x86 under Wine. After each preset's
# CTest, and for the whole run, one line "N passed, N failed, N skipped"; the
# command fails when a test fails, not when one is skipped for the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
total_passed=0 total_failed=0 total_skipped=0
for preset in native asan fuzz mingw-x64 mingw-x86; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" --output-junit "$results/$preset.xml" || true
  scripts/ctest-summary.py "$preset" "$results/$preset.xml" >"$results/$preset.txt"
  cat "$results/$preset.txt"
  line=$(tail -n 1 "$results/$preset.txt")
  read -r passed failed skipped < <(sed -E 's/^[^:]*: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped$/\1 \2 \3/' <<<"$line")
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed)) total_skipped=$((total_skipped + skipped))
done
echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
[ "$total_failed" -eq 0 ]
