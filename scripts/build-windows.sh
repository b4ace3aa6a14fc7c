#!/bin/sh
# Cross-builds the transmitter model as a 32-bit Windows DLL (and its Windows
# loader test) with Debian's mingw-w64 compiler into build-win/, then copies
# the DLL into the native kit folder build/kit/.
set -e
cd "$(dirname "$0")/.."
if [ ! -f tx/Orvex_TX_AMI_01142014_AMI.cpp ]; then
  exit 0
fi
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DTESSEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-win -j "$jobs"
mkdir -p build/kit
cp build-win/kit/Orvex_TX_AMI_01142014.dll build/kit/
