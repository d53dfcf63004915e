#!/usr/bin/env bash
# Registers the .ocx in the test prefix, runs a host against it, unregisters.
# Usage: hosted_test.sh WINE_RUN PREFIX OCX 32|64 script VBS
#        hosted_test.sh WINE_RUN PREFIX OCX 32|64 atl CONTROL_TESTS_EXE
#        hosted_test.sh WINE_RUN PREFIX OCX 32|64 simulated SIMULATOR CONTROL_TESTS_EXE GTEST_FILTER
#        hosted_test.sh WINE_RUN PREFIX OCX 32|64 chart SIMULATOR CHART_EXE BMP_TO_PNG OUT_PNG
# `chart` runs the sample front end under Xvfb and keeps its screenshot as OUT_PNG.
# `simulated` starts the native simulator and passes its port in MORAVEX_SIM_PORT;
# exit status 77 (skipped) when the native build has none.
set -uo pipefail
wine_run=$1 prefix=$2 bits=$4 mode=$5
ocx=Z:$(tr / '\\' <<<"$3")
if [ "$bits" = 32 ]; then system='C:\windows\syswow64'; else system='C:\windows\system32'; fi
run() { "$wine_run" "$prefix" "$@"; }
# A wineserver started without a display keeps a display-less desktop.
stop_server() { WINEPREFIX=$prefix wineserver -k 2>/dev/null; WINEPREFIX=$prefix wineserver -w 2>/dev/null; true; }

# Starts the simulator (ARGS...) on a free port; sets sim_pid and sim_port.
start_simulator() {
  local sim=$1 dir
  shift
  dir=$(mktemp -d)
  mkfifo "$dir/out"
  "$sim" --port 0 "$@" >"$dir/out" &
  sim_pid=$!
  exec 3<"$dir/out"
  rm -rf "$dir"
  read -r -t 10 first <&3 || { echo "simulator printed nothing"; return 1; }
  sim_port=${first##*:}
}
if { [ "$mode" = simulated ] || [ "$mode" = chart ]; } && [ ! -x "$6" ]; then echo "no native simulator at $6: build the native preset first"; exit 77; fi

run "$system\\regsvr32.exe" /s "$ocx" || { echo "regsvr32 failed"; exit 1; }
case $mode in
  script)
    # cscript exits 0 after a script error, so the script's last line is the verdict.
    script="Z:$(tr / '\\' <<<"$6")"
    out=$(run "$system\\cscript.exe" //nologo "$script" 2>&1)
    status=$?
    echo "$out"
    grep -q 'script: passed' <<<"$out" || status=1 ;;
  atl)
    stop_server
    xvfb-run -a bash -c '"$1" "$2" "$3" "$4" --gtest_filter=Hosted.Atl*; s=$?; WINEPREFIX=$2 wineserver -k; exit $s' \
      _ "$wine_run" "$prefix" "$6" "$ocx"
    status=$? ;;
  simulated)
    start_simulator "$6" --clock "2026-12-08 09:45:00" || exit 1
    MORAVEX_SIM_PORT=$sim_port run "$7" "$ocx" --gtest_filter="$8"
    status=$?
    kill "$sim_pid" ;;
  chart)
    start_simulator "$6" --clock "2026-12-08 11:30:00" || exit 1
    stop_server
    xvfb-run -a bash -c '"$1" "$2" "$3" 127.0.0.1 "$4" IBM --screenshot chart.bmp --after-ms 1500; s=$?; WINEPREFIX=$2 wineserver -k; exit $s' \
      _ "$wine_run" "$prefix" "$7" "$sim_port"
    status=$?
    kill "$sim_pid"
    [ $status = 0 ] && { python3 "$8" chart.bmp "$9" 176,208,240 2000 || status=1; } ;;
  *) echo "unknown mode $mode"; status=2 ;;
esac
run "$system\\regsvr32.exe" /u /s "$ocx"
exit $status
