#!/usr/bin/env bash
# Starts the native simulator on a free port and runs the host soak against it.
# Usage: host_soak.sh WINE_RUN PREFIX MORAVEX_SIM HOST_SOAK_EXE OCX SEED SECONDS
# Exit status 77 (skipped) when the native simulator has not been built.
set -uo pipefail
wine_run=$1 prefix=$2 sim=$3 soak=$4 ocx=Z:$(tr / '\\' <<<"$5") seed=$6 seconds=$7
[ -x "$sim" ] || { echo "no simulator at $sim: build the native preset first"; exit 77; }
dir=$(mktemp -d)
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -rf "$dir"' EXIT
mkfifo "$dir/sim"
# Inside session hours, so price channels have rows; the soak adds its faults per connection.
"$sim" --port 0 --clock "2026-12-08 10:30:00" --seed "$seed" >"$dir/sim" &
sim_pid=$!
exec 3<"$dir/sim"
read -r -t 10 first <&3 || { echo "simulator printed nothing"; exit 1; }
"$wine_run" "$prefix" "$soak" "$ocx" "${first##*:}" "$seed" "$seconds"
