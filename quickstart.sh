#!/bin/sh
# The kit's two quick-start commands:
#   ./quickstart.sh run    build, then run the main job on its defaults
#   ./quickstart.sh test   build, then run every test
# Both install the Debian packages they need when missing.
set -e
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-}" in
  run)
    scripts/install-deps.sh build
    cmake -S . -B build -DTESSEL_BUILD_TESTS=OFF -DTESSEL_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build build -j "$jobs"
    scripts/run-main-job.sh build
    ;;
  test)
    scripts/install-deps.sh test
    cmake -S . -B build -DTESSEL_BUILD_TESTS=ON >/dev/null
    cmake --build build -j "$jobs"
    scripts/build-windows.sh
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
