#!/usr/bin/env bash
# The Windows shell under Wine, against the native simulator.
# Usage: wine_shell_test.sh register|unregister WINE_RUN PREFIX OCX 32|64
#        wine_shell_test.sh scenarios WINE_RUN PREFIX OCX 32|64 SHELL_EXE NATIVE_TESTS [GTEST ARGS...]
#        wine_shell_test.sh compare WINE_RUN PREFIX OCX 32|64 SHELL_EXE NATIVE_BUILD SESSION
# `scenarios` and `compare` register the .ocx again first: another test of the
# prefix may have unregistered it since the fixture ran. Exit status 77
# (skipped) when the native build is missing.
set -uo pipefail
mode=$1 wine_run=$2 prefix=$3 ocx=Z:$(tr / '\\' <<<"$4") bits=$5
shift 5
run() { "$wine_run" "$prefix" "$@"; }
regsvr32() {  # [/u]
  if [ "$bits" = 32 ]; then run 'C:\windows\syswow64\regsvr32.exe' "$@" /s "$ocx"; else run regsvr32 "$@" /s "$ocx"; fi
}

case $mode in
  register) regsvr32; exit ;;
  unregister) regsvr32 /u; exit ;;
  scenarios)
    shell_exe=$1 tests=$2
    shift 2
    [ -x "$tests" ] || { echo "no native integration tests at $tests: build the native preset first"; exit 77; }
    regsvr32 || { echo "regsvr32 failed"; exit 1; }
    MORAVEX_SHELL_COMMAND="$wine_run|$prefix|$shell_exe" exec "$tests" "$@" ;;
  compare)
    shell_exe=$1 native=$2 session=$3
    sim=$native/tools/simulator/moravex-sim native_shell=$native/tools/shell/moravex-shell
    [ -x "$sim" ] && [ -x "$native_shell" ] || { echo "no native simulator and shell in $native"; exit 77; }
    regsvr32 || { echo "regsvr32 failed"; exit 1; }
    dir=$(mktemp -d)
    trap 'kill $sim_pid 2>/dev/null; rm -rf "$dir"' EXIT
    mkfifo "$dir/sim"
    # The session time never comes, for the time-out.
    "$sim" --port 0 --clock "2026-12-08 09:45:00" --never 4 >"$dir/sim" &
    sim_pid=$!
    exec 3<"$dir/sim"
    read -r -t 10 first <&3 || { echo "simulator printed nothing"; exit 1; }
    port=${first##*:}
    sed "s/@PORT@/$port/" "$session" >"$dir/session"
    "$native_shell" <"$dir/session" >"$dir/native"
    run "$shell_exe" <"$dir/session" >"$dir/windows"
    status=0
    # The session is only worth comparing when every awaited event came.
    if grep -q '"ok":false' "$dir/native" || [ "$(grep -c '"ok":true' "$dir/native")" != "$(grep -c '^until' "$session")" ]; then
      echo "the native session missed an event:"; cat "$dir/native"; status=1
    fi
    if ! cmp -s "$dir/native" "$dir/windows"; then
      echo "the shells differ:"
      diff -u --label native --label windows "$dir/native" "$dir/windows"
      status=1
    fi
    [ $status = 0 ] && echo "identical: $(wc -l <"$dir/native") lines"
    exit $status ;;
esac
echo "unknown mode $mode"
exit 2
