#!/bin/sh
# Cross-builds the Windows DLLs with Debian's mingw-w64 compilers, each with
# its Windows test programs: the transmitter for 32-bit Windows into
# build-win/, both models for 64-bit Windows into build-win64/. Then copies
# the DLLs into the native kit folder build/kit/.
set -e
cd "$(dirname "$0")/.."
if [ ! -f tx/Orvex_TX_AMI_01142014_AMI.cpp ]; then
  exit 0
fi
jobs=$(nproc 2>/dev/null || echo 2)
launcher=""
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$PWD"
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
mkdir -p build/kit
for target in i686:build-win x86_64:build-win64; do
  arch=${target%%:*}
  dir=${target#*:}
  # shellcheck disable=SC2086  # the launcher options are separate words
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
        -DTESSEL_BUILD_BENCHMARKS=OFF $launcher >/dev/null
  cmake --build "$dir" -j "$jobs"
  cp "$dir"/kit/*.dll build/kit/
done
