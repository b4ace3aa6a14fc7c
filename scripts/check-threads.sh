#!/bin/sh
# Runs the tests that drive the models from several threads at once under
# ThreadSanitizer: both libraries with many instances in threads (opened,
# fed, posting block messages, closed), and the parameter parser's message
# log reporting from several threads. Builds into build-tsan/. Any data race
# fails the script.
set -e
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
cmake -S . -B build-tsan -DTESSEL_SANITIZE_THREADS=ON -DTESSEL_BUILD_BENCHMARKS=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j "$jobs" --target Orvex_RX_AMI_05272013 Orvex_TX_AMI_01142014 \
      test_loader_CarelessHostTest test_shared_rx
export TSAN_OPTIONS="halt_on_error=1 abort_on_error=1 report_signal_unsafe=0"
build-tsan/tests/loader/test_loader_CarelessHostTest \
  --gtest_filter='CarelessHost.InstancesInThreads*:CarelessHost.Handles*'
build-tsan/tests/test_shared_rx --gtest_filter='ParserUnderHostConditions.Concurrent*'
echo "check-threads: no data race"
