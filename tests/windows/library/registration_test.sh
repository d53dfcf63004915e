#!/usr/bin/env bash
# regsvr32 registers MORAVEX1.ocx (ProgID, CLSID key, type library and its
# interfaces) and regsvr32 /u removes all of it again.
# Usage: registration_test.sh WINE_RUN PREFIX OCX 32|64
set -euo pipefail
wine_run=$1
prefix=$2
ocx=Z:$(tr / '\\' <<<"$3")
bits=$4

clsid='{86AE8C0B-E840-47D1-89CC-59F9F1FDEDF1}'
libid='{AE10CCB6-A2A0-4B74-A860-D060BA519A3A}'
iid='{EB60BA11-9E87-41C3-AAED-A7AC39ECEC52}'
diid='{B76942EA-9C3C-4F43-B3FA-255B957399F2}'
progid=MORAVEX1.ChartServiceClient
# Each bitness's own tools: a 64-bit reg.exe asked for /reg:32 does not see
# the keys Wine's 32-bit side redirected.
if [ "$bits" = 32 ]; then system='C:\windows\syswow64\'; else system=; fi
regsvr32=${system}regsvr32.exe reg=${system}reg.exe

run() { "$wine_run" "$prefix" "$@"; }
# Key dump without CRs, blank lines and Wine's long-path prefix, or "absent".
query() {
  local out
  if out=$(run "$reg" query "HKCR\\$1" /s "/reg:$bits" 2>/dev/null); then
    tr -d '\r' <<<"$out" | sed -e '/^$/d' -e 's/\\\\?\\//'
  else
    echo absent
  fi
}
status=0
expect() {  # NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "--- $1: expected"; echo "$2"; echo "--- got"; echo "$3"
    status=1
  fi
}

run "$regsvr32" /s "$ocx" || { echo "regsvr32 failed: $?"; exit 1; }

root=HKEY_CLASSES_ROOT
expect CLSID "$root\\CLSID\\$clsid
    (Default)    REG_SZ    ChartServiceClient Control
$root\\CLSID\\$clsid\\Control
$root\\CLSID\\$clsid\\InprocServer32
    (Default)    REG_SZ    $ocx
    ThreadingModel    REG_SZ    Apartment
$root\\CLSID\\$clsid\\MiscStatus
    (Default)    REG_SZ    0
$root\\CLSID\\$clsid\\MiscStatus\\1
    (Default)    REG_SZ    132497
$root\\CLSID\\$clsid\\ProgID
    (Default)    REG_SZ    $progid
$root\\CLSID\\$clsid\\ToolboxBitmap32
    (Default)    REG_SZ    $ocx, 30000
$root\\CLSID\\$clsid\\TypeLib
    (Default)    REG_SZ    $libid
$root\\CLSID\\$clsid\\Version
    (Default)    REG_SZ    6.0" "$(query "CLSID\\$clsid")"

expect ProgID "$root\\$progid
    (Default)    REG_SZ    ChartServiceClient Control
$root\\$progid\\CLSID
    (Default)    REG_SZ    $clsid" "$(query "$progid")"

typelib=$(query "TypeLib\\$libid")
for line in "$root\\TypeLib\\$libid\\6.0" "    (Default)    REG_SZ    Korvane SDK 1.1" \
            "$root\\TypeLib\\$libid\\6.0\\0\\win$bits" "    (Default)    REG_SZ    $ocx" \
            "$root\\TypeLib\\$libid\\6.0\\FLAGS"; do
  grep -qxF -- "$line" <<<"$typelib" || { echo "TypeLib: missing '$line'"; echo "$typelib"; status=1; }
done
for interface in "$iid _ChartServiceClient" "$diid __ChartServiceClient"; do
  set -- $interface
  keys=$(query "Interface\\$1")
  for line in "    (Default)    REG_SZ    $2" "    (Default)    REG_SZ    $libid" "    Version    REG_SZ    6.0"; do
    grep -qxF -- "$line" <<<"$keys" || { echo "Interface $2: missing '$line'"; echo "$keys"; status=1; }
  done
done

run "$regsvr32" /u /s "$ocx" || { echo "regsvr32 /u failed: $?"; exit 1; }
for key in "CLSID\\$clsid" "$progid" "TypeLib\\$libid" "Interface\\$iid" "Interface\\$diid"; do
  expect "$key after unregistering" absent "$(query "$key")"
done
exit $status
