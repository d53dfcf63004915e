#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit Windows programs under Wine; else
# prints why and exits 1. With --kernel, asks only whether the kernel runs
# 32-bit x86 programs at all (before 32-bit Wine is installed).
#
# It asks by running one, not by reading kernel names or files: some kernels
# have ia32 emulation off, and there every i386 program fails with "Exec
# format error", Wine's 32-bit loader included.
set -u
loader=/usr/lib/wine/wine
if [ "${1:-}" != --kernel ] && [ -x "$loader" ]; then
  "$loader" --version >/dev/null 2>&1 && exit 0
  echo "this machine runs no 32-bit programs"
  exit 1
fi
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# A whole static i386 program: ELF header, one loadable segment, and
# xor ebx,ebx; mov eax,1; int 0x80 (exit 0).
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
if ! "$probe" 2>/dev/null; then
  echo "this machine runs no 32-bit programs"
  exit 1
fi
[ "${1:-}" = --kernel ] && exit 0
echo "32-bit Wine is not installed (wine32:i386)"
exit 1
