#!/usr/bin/env bash
# Runs a Windows program under Wine in the private prefix given first; creates
# the prefix on first use. Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
#
# The loader is chosen by the program's bitness, never left to /usr/bin/wine
# (which starts the 32-bit loader whenever it is installed, and that fails on
# every Wine call where the kernel runs no 32-bit programs). A program file
# says its own bitness in its PE header; a Windows path under syswow64 is
# 32-bit; any other name (regsvr32, reg, cscript, msiexec ...) is the 64-bit
# one from system32. A 32-bit program on a machine that cannot run one exits
# 77, the tests' "skipped", saying why.
set -euo pipefail
prefix=$1
shift
program=$1
here=$(dirname "$0")
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine

# 32 or 64 from the PE header's machine field; empty when not a PE file.
pe_bits() {
  local offset machine
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$offset" ] || return 0
  machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ') || return 0
  case $machine in 8664) echo 64 ;; 014c) echo 32 ;; esac
}

case $program in
  [A-Za-z]:*) unix=$([ "${program:0:2}" = Z: ] && tr '\\' / <<<"${program:2}" || true) ;;
  */*) unix=$program ;;
  *) unix= ;;
esac
bits=
if [ -n "$unix" ] && [ -f "$unix" ]; then
  bits=$(pe_bits "$unix")
elif [ -n "$unix" ] && [ "${program:1:1}" != : ]; then
  echo "wine-run.sh: no such program: $program" >&2
  exit 1
fi
if [ -z "$bits" ]; then
  shopt -s nocasematch
  if [[ $program == *syswow64* ]]; then bits=32; else bits=64; fi
  shopt -u nocasematch
fi

# For the test of this choice: print it and start nothing.
[ -z "${MORAVEX_WINE_RUN_BITS_ONLY:-}" ] || { echo "$bits"; exit 0; }
if [ "$bits" = 32 ]; then
  if ! reason=$("$here/runs-32bit.sh" 2>&1); then
    echo "skipped: $reason" >&2
    exit 77
  fi
  loader=$wine32
else
  loader=$wine64
fi

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    # The 64-bit wineboot makes a prefix for both bitnesses when 32-bit Wine
    # is installed (it starts the 32-bit side itself), and a 64-bit one when not.
    WINELOADER=$wine64 "$wine64" wineboot.exe -i >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$prefix.lock"
if [ "$bits" = 32 ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "wine-run.sh: $prefix was made without 32-bit Wine; delete it so it is made again" >&2
  exit 1
fi
# Children of another bitness find their loader from WINELOADER (Wine drops
# or adds the "64").
WINELOADER=$loader exec "$loader" "$@"
