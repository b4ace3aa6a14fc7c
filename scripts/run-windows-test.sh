#!/bin/sh
# Runs a cross-built Windows test program under wine, with the DLL it is to
# load, in a private wine prefix:
#   run-windows-test.sh <program.exe> <library.dll> <wine prefix folder> [argument...]
# Exits 77 (skipped) when the program has not been built or wine is missing;
# under CI=true that fails instead (scripts/platform-skip.sh).
. "$(dirname "$0")/platform-skip.sh"
program=$1
library=$2
prefix=$3
shift 3
if [ ! -f "$program" ] || [ ! -f "$library" ]; then
  skip_platform_test "no Windows build: run scripts/build-windows.sh first"
fi
if ! command -v wine >/dev/null 2>&1; then
  skip_platform_test "wine is not installed"
fi
# A 64-bit program (PE machine type 8664) runs in wine64 with a 64-bit
# prefix; Debian's wine command would try the 32-bit loader first.
header=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
machine=$(od -An -tx2 -j$((header + 4)) -N2 "$program" | tr -d ' ')
if [ "$machine" = 8664 ]; then
  loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
  [ -x "$loader" ] || skip_platform_test "wine64 is not installed"
  export WINEARCH=win64
else
  loader=wine
  # A kernel without 32-bit support (ia32 emulation off) runs no 32-bit
  # program at all, wine's own loader included: no package can mend that,
  # so the test is skipped even in continuous integration, and says so.
  if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "skipped: this machine's kernel runs no 32-bit programs (32-bit wine cannot start)"
    exit 77
  fi
fi
mkdir -p "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Windows paths: the root of the Unix file system is drive Z:.
exec "$loader" "$program" "Z:$library" "$@"
