#!/bin/sh
# Runs a cross-built Windows test program under wine, with the DLL it is to
# load, in a private wine prefix:
#   run-windows-test.sh <program.exe> <library.dll> <wine prefix folder> [argument...]
# Exits 77 (skipped) when the program has not been built, wine is missing, or
# wine cannot start here (a kernel without 32-bit support).
program=$1
library=$2
prefix=$3
shift 3
if [ ! -f "$program" ] || [ ! -f "$library" ]; then
  echo "no Windows build: run scripts/build-windows.sh first"
  exit 77
fi
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed"
  exit 77
fi
if ! wine --version >/dev/null 2>&1; then
  echo "wine is installed but cannot start here"
  exit 77
fi
mkdir -p "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Windows paths: the root of the Unix file system is drive Z:.
exec wine "$program" "Z:$library" "$@"
