#!/usr/bin/env bash
# Builds and runs every test: the release and sanitizer builds, a bounded fuzz
# run, and the COM control for x64 and x86 under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
for preset in native asan fuzz mingw-x64 mingw-x86; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
