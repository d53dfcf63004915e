#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# With --windows, also the mingw-w64 cross compilers, Wine and Xvfb for the COM
# control's builds and tests, wixl for its .msi installers, osslsigncode and
# openssl for signing them (and the signing test's certificate), and 32-bit Wine
# where this machine runs 32-bit programs (elsewhere the x86 tests that need
# one are skipped).
set -euo pipefail
here=$(dirname "$0")
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev googletest python3 clang clang-format libclang-rt-14-dev)
windows=false
[ "${1:-}" = "--windows" ] && windows=true
if $windows; then
  packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine64 libwine-dev xvfb xauth wixl osslsigncode openssl)
fi
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# A mirror caught mid-sync fails an index ("File has unexpected size"); it is
# whole again a little later.
update() {
  local attempt
  for attempt in 1 2 3; do
    $sudo apt-get update && return 0
    [ "$attempt" -lt 3 ] && sleep 20
  done
  return 1
}
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
updated=false
if [ ${#missing[@]} -gt 0 ]; then
  update || true
  updated=true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

$windows || exit 0
installed wine32:i386 && exit 0
if ! why=$("$here/runs-32bit.sh" --kernel); then
  echo "install-deps: no 32-bit Wine: $why; the x86 tests that need a 32-bit process will be skipped" >&2
  exit 0
fi
# 32-bit Wine must be there before any prefix is made: prefixes made without
# it cannot load 32-bit programs. A machine without i386 packages goes on
# without it, like one that cannot run them.
added=false
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  added=true
  updated=false
fi
if { $updated || update; } && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y wine32:i386; then
  exit 0
fi
echo "install-deps: wine32:i386 could not be installed; the x86 tests that need a 32-bit process will be skipped" >&2
if $added; then
  $sudo dpkg --remove-architecture i386 || true
  $sudo apt-get update || true
fi
