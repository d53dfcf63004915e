#!/usr/bin/env bash
# Builds the native tools, starts the simulator, runs a scripted shell session
# against it and stops the simulator again. With --windows the same session
# runs through the Windows shell and MORAVEX1.ocx (x64) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
windows=false
[ "${1:-}" = "--windows" ] && windows=true
if $windows; then scripts/install-deps.sh --windows; else scripts/install-deps.sh; fi
cmake --preset native >/dev/null
cmake --build --preset native --target moravex-sim moravex-shell
shell=(build/native/tools/shell/moravex-shell)
if $windows; then
  cmake --preset mingw-x64 >/dev/null
  cmake --build --preset mingw-x64 --target MORAVEX1 moravex-shell
  prefix=$PWD/build/mingw-x64/wineprefix
  scripts/wine-run.sh "$prefix" regsvr32 /s "Z:$PWD/build/mingw-x64/src/windows/library/MORAVEX1.ocx"
  shell=(scripts/wine-run.sh "$prefix" build/mingw-x64/tools/shell/windows/moravex-shell.exe)
fi
sim_out=$(mktemp)
# Closing prices are never answered, to show a Timeout.
build/native/tools/simulator/moravex-sim --port 0 --clock "2026-12-08 10:00:00" --never 10 >"$sim_out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do grep -q listening "$sim_out" && break; sleep 0.05; done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$sim_out")
echo "simulator on port $port" >&2
sed "s/@PORT@/$port/" scripts/demo-session.txt | "${shell[@]}"
