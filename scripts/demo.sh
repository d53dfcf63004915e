#!/usr/bin/env bash
# Builds the native tools, starts the simulator, runs a scripted shell session
# against it and stops the simulator again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target moravex-sim moravex-shell
sim_out=$(mktemp)
# Closing prices are never answered, to show a Timeout.
build/native/tools/simulator/moravex-sim --port 0 --clock "2026-12-08 10:00:00" --never 10 >"$sim_out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do grep -q listening "$sim_out" && break; sleep 0.05; done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$sim_out")
echo "simulator on port $port" >&2
sed "s/@PORT@/$port/" scripts/demo-session.txt | build/native/tools/shell/moravex-shell
