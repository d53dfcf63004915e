#!/usr/bin/env bash
# MORAVEX1.ocx exports exactly the four entry points of an in-process server
# and imports nothing but system DLLs (no toolchain runtime DLL).
# Usage: pe_tables_test.sh OBJDUMP OCX
set -euo pipefail
objdump=$1
ocx=$2
dump=$("$objdump" -p "$ocx")

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
status=0
if [ "$exports" != "$expected" ]; then
  echo "exports: '$exports', expected '$expected'"
  status=1
fi

system='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|olepro32|ws2_32|msvcrt|shell32|shlwapi|comctl32|version|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports read"; exit 1; }
while read -r dll; do
  if ! grep -Eq "$system" <<<"$dll"; then
    echo "imports a non-system DLL: $dll"
    status=1
  fi
done <<<"$imports"
echo "exports: $exports"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
exit $status
