#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# With --windows, also the mingw-w64 cross compilers, Wine (both bitnesses)
# and Xvfb for the COM control's builds and tests.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev googletest python3 clang libclang-rt-14-dev)
windows=false
[ "${1:-}" = "--windows" ] && windows=true
if $windows; then
  packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine64 libwine-dev xvfb xauth)
fi
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
# 32-bit Wine must be there before any prefix is made: prefixes made without it
# cannot load 32-bit programs.
if $windows && ! installed wine32:i386; then
  missing+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
fi
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
