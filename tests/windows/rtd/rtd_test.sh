#!/usr/bin/env bash
# Registers MORAVEX1Rtd.dll and runs the sheet host against the native simulator,
# killed and restarted on its port when the host asks. 77 (skipped): no simulator.
# Usage: rtd_test.sh WINE_RUN PREFIX DLL 32|64 SIMULATOR SHEET_HOST
set -uo pipefail
wine_run=$1 prefix=$2 bits=$4 sim=$5 host=$6
dll=Z:$(tr / '\\' <<<"$3")
if [ "$bits" = 32 ]; then system='C:\windows\syswow64'; else system='C:\windows\system32'; fi
run() { "$wine_run" "$prefix" "$@"; }
[ -x "$sim" ] || { echo "no native simulator at $sim: build the native preset first"; exit 77; }
work=$(mktemp -d)
trap 'kill $sim_pid 2>/dev/null; rm -rf "$work"' EXIT

# Starts the simulator on PORT (0: a free one); sets sim_pid and sim_port.
start_simulator() {
  rm -f "$work/out"
  mkfifo "$work/out"
  "$sim" --port "$1" --clock "2026-12-08 10:15:00" >"$work/out" &
  sim_pid=$!
  exec 3<"$work/out"
  read -r -t 10 first <&3 || { echo "simulator printed nothing"; return 1; }
  sim_port=${first##*:}
}

run "$system\\regsvr32.exe" /s "$dll" || { echo "regsvr32 failed"; exit 1; }
start_simulator 0 || exit 1
run "$host" "$sim_port" "Z:$(tr / '\\' <<<"$work/kill")" &
host_pid=$!
for _ in $(seq 600); do [ -e "$work/kill" ] || ! kill -0 $host_pid 2>/dev/null && break; sleep 0.1; done
[ -e "$work/kill" ] && { kill $sim_pid; wait $sim_pid 2>/dev/null; sleep 2; start_simulator "$sim_port" || exit 1; }
wait $host_pid
status=$?
run "$system\\regsvr32.exe" /u /s "$dll"
run "$system\\reg.exe" delete 'HKCU\Software\MORAVEX1' /f >/dev/null 2>&1
exit $status
