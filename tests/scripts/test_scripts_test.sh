#!/usr/bin/env bash
# The test command's own pieces: the closing line counts a skip as a skip and
# never as a pass, shows why it was skipped, and counts missing results as a
# failure; a Windows program's bitness is read from its PE header.
set -uo pipefail
scripts=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
status=0
expect() {  # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { printf -- '--- %s: expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"; status=1; }
}

cat >"$dir/run.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<testsuite tests="5">
  <testcase name="a.passes" status="run"><system-out>ok</system-out></testcase>
  <testcase name="a.fails" status="fail"><failure message="Failed"/></testcase>
  <testcase name="a.skipped" status="notrun"><skipped message="Skipped"/><system-out>this machine runs no 32-bit programs
</system-out></testcase>
  <testcase name="a.timed_out" status="fail"><failure message="Timeout"/></testcase>
  <testcase name="a.disabled" status="disabled"><system-out>Disabled</system-out></testcase>
</testsuite>
XML
expect summary "  skipped a.skipped: this machine runs no 32-bit programs
  skipped a.disabled: Disabled
mingw-x86: 1 passed, 2 failed, 2 skipped" "$("$scripts/ctest-summary.py" mingw-x86 "$dir/run.xml")"
expect "no results" "x: 0 passed, 1 failed, 0 skipped" "$("$scripts/ctest-summary.py" x "$dir/none.xml" | tail -n 1)"

# Only the PE header's machine field decides: 0x8664 is x64, 0x14c is x86.
pe() {  # MACHINE_BYTES -> a file with "PE\0\0" at offset 64 and that machine
  { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00PE\x00\x00'"$1"; } >"$dir/p.exe"
}
pe '\x64\x86'; expect x64 64 "$(MORAVEX_WINE_RUN_BITS_ONLY=1 "$scripts/wine-run.sh" "$dir/prefix" "$dir/p.exe")"
pe '\x4c\x01'; expect x86 32 "$(MORAVEX_WINE_RUN_BITS_ONLY=1 "$scripts/wine-run.sh" "$dir/prefix" "$dir/p.exe")"
expect syswow64 32 "$(MORAVEX_WINE_RUN_BITS_ONLY=1 "$scripts/wine-run.sh" "$dir/prefix" 'C:\Windows\SysWOW64\reg.exe')"
expect "system name" 64 "$(MORAVEX_WINE_RUN_BITS_ONLY=1 "$scripts/wine-run.sh" "$dir/prefix" regsvr32)"
[ "$status" = 0 ] && echo "test scripts: passed"
exit $status
