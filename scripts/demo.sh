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
cmake --build --preset native --target moravex-sim moravex-shell moravex-feed
shell=(build/native/tools/shell/moravex-shell)
if $windows; then
  cmake --preset mingw-x64 >/dev/null
  cmake --build --preset mingw-x64 --target MORAVEX1 moravex-shell
  prefix=$PWD/build/mingw-x64/wineprefix
  scripts/wine-run.sh "$prefix" regsvr32 /s "Z:$PWD/build/mingw-x64/src/windows/library/MORAVEX1.ocx"
  shell=(scripts/wine-run.sh "$prefix" build/mingw-x64/tools/shell/windows/moravex-shell.exe)
fi
sim_out=$(mktemp)
feed_dir=$(mktemp -d)
# Closing prices are never answered, to show a Timeout.
start_simulator() {
  build/native/tools/simulator/moravex-sim --port "$1" --clock "2026-12-08 10:00:00" --never 10 >"$sim_out" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q listening "$sim_out" && break; sleep 0.05; done
}
start_simulator 0
trap 'kill $sim_pid 2>/dev/null || true; rm -rf "$sim_out" "$feed_dir"' EXIT
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$sim_out")
echo "simulator on port $port" >&2
sed "s/@PORT@/$port/" scripts/demo-session.txt | "${shell[@]}"

# The feed: live values from a profile and an owner-only credential file; the
# simulator is killed and started again on its port, and the feed recovers by itself.
printf '[Default]\nport = %s\nuser = demo-user-00000000000000000000000000\nbackoff_base_ms = 500\n' "$port" \
  >"$feed_dir/profiles.ini"
(umask 077 && printf '[Default]\npassword = demo-password-0000000000000000000000\n' >"$feed_dir/credentials")
echo "feed for 5 s; the simulator is killed after 1.5 s and back 1 s later" >&2
build/native/tools/feed/moravex-feed --profiles "$feed_dir/profiles.ini" --credentials "$feed_dir/credentials" \
  --for 5000 Status SessionDate IBM,Price IBM,Rows IBM,Updated IBM,High IBM,Support </dev/null &
feed_pid=$!
sleep 1.5
kill $sim_pid && wait $sim_pid || true
sleep 1
start_simulator "$port"
wait $feed_pid
