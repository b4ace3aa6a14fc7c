#!/bin/sh
# Assembles the complete model kit in build/kit/: the receiver and
# transmitter libraries for 64-bit Linux (loading with glibc 2.17 and later),
# the DLLs of both models for 64-bit Windows and of the transmitter for
# 32-bit Windows (cross-built by scripts/build-windows.sh) and the kit files
# kept in kit/ (.ami parameter files, .ibs). Lists the kit and fails if one
# of the five executables or a kit file is missing.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build >/dev/null
cmake --build build -j "$jobs" --target Orvex_RX_AMI_05272013 Orvex_TX_AMI_01142014
scripts/build-windows.sh
missing=0
for file in Orvex_RX_AMI_05272013.so Orvex_RX_AMI_05272013_x64.dll Orvex_RX_AMI_05272013.ami \
            Orvex_TX_AMI_01142014.so Orvex_TX_AMI_01142014_x64.dll Orvex_TX_AMI_01142014.dll \
            Orvex_TX_AMI_01142014.ami orvex_retimer.ibs; do
  if [ ! -f "build/kit/$file" ]; then
    echo "build-kit: build/kit/$file is missing" >&2
    missing=1
  fi
done
ls -l build/kit
exit $missing
