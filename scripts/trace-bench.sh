#!/usr/bin/env bash
# What the support trace costs: the bench's in-process price-channel (1) and
# re-asked round-trip (4) figures of the control, with the trace compiled in
# and off, against the same build with it compiled out (MORAVEX_NO_TRACE), and
# with it on at level 1 into a temporary file. One run, trials interleaved;
# each row gives the median control rate and its ratio to the compiled-out one.
#   scripts/trace-bench.sh [TRIALS]     default 5
set -euo pipefail
cd "$(dirname "$0")/.."
trials="${1:-5}"
for variant in in:OFF out:ON; do
  dir="build/bench-trace-${variant%%:*}"
  cmake --preset native -B "$dir" -DMORAVEX_TESTS=OFF -DMORAVEX_NO_TRACE="${variant##*:}" >/dev/null
  nice -n 10 cmake --build "$dir" -j2 --target moravex_bench moravex_blaster >/dev/null
done
trace_file="$(mktemp)"
trap 'rm -f "$trace_file" "$trace_file.1"' EXIT
# The control column of figure lines 1 and 4, in its unit's multiples.
rates() {
  "$@" 1 4 | awk '/^[14] (full price|previous-session price)/ {
      s = substr($0, 66, 16); n = split(s, f, " "); v = f[1]; u = f[2]
      m = substr(u, 1, 1) == "G" ? 1e9 : substr(u, 1, 1) == "M" ? 1e6 : substr(u, 1, 1) == "k" ? 1e3 : 1
      print substr($0, 1, 1), v * m }'
}
results="$(mktemp)"
for ((t = 0; t < trials; ++t)); do
  rates build/bench-trace-out/bench/moravex_bench | sed 's/^/out /' >>"$results"
  rates build/bench-trace-in/bench/moravex_bench | sed 's/^/off /' >>"$results"
  rates env MORAVEX1_TRACE="$trace_file" build/bench-trace-in/bench/moravex_bench | sed 's/^/on1 /' >>"$results"
  rm -f "$trace_file" "$trace_file.1"
done
python3 - "$results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    variant, figure, rate = line.split()
    rows.setdefault((figure, variant), []).append(float(rate))
names = {"1": "full price-channel answers, in process (rows/s)", "4": "previous-session price round trip, in process (req/s)"}
print(f"{'figure':56} {'compiled out':>14} {'in, off':>14} {'ratio':>7} {'on, level 1':>14} {'ratio':>7}")
for figure in ("1", "4"):
    out, off, on = (statistics.median(rows[(figure, v)]) for v in ("out", "off", "on1"))
    print(f"{names[figure]:56} {out:14.4g} {off:14.4g} {off / out:7.3f} {on:14.4g} {on / out:7.3f}")
PY
rm -f "$results"
