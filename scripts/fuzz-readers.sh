#!/bin/sh
# Fuzzes the host's file readers (IBIS, .ami, impulse tables, Touchstone)
# for SECONDS seconds each.
#   scripts/fuzz-readers.sh SECONDS
# Builds fuzz/reader_fuzz.cpp once per reader with clang's libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/ and runs
# each on a working copy of its seed corpus, fuzz/readers/<reader>/. Any
# crash, leak or sanitizer report fails the script; the reproducer is left
# in build-fuzz/.
set -e
cd "$(dirname "$0")/.."
. scripts/fuzz-run.sh
seconds=${1:?usage: $0 SECONDS}
out=build-fuzz
mkdir -p "$out"
flags="-std=c++17 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -DTESSEL_CHECKED=1 -DTESSEL_EXPORT_LIBRARY_CLASSES=0 -Iinclude -Iami -Ilink/common -Ilink/host -Ilink/signal"

for reader in ibis ami impulse touchstone; do
  case $reader in
    ibis) sources="link/host/IbisFile.cpp link/common/InputFile.cpp" ;;
    ami) sources="link/host/AmiFile.cpp link/host/AmiDescription.cpp link/host/ParameterString.cpp
                  link/common/InputFile.cpp ami/*.cpp" ;;
    impulse) sources="link/signal/Channel.cpp link/signal/Fft.cpp link/common/InputFile.cpp" ;;
    touchstone) sources="link/signal/Touchstone.cpp link/signal/MixedMode.cpp link/common/InputFile.cpp" ;;
  esac
  upper=$(echo "$reader" | tr a-z A-Z)
  # shellcheck disable=SC2086
  /usr/bin/clang++ $flags -DREADER_"$upper" fuzz/reader_fuzz.cpp $sources \
    $(pkg-config --libs fftw3) -o "$out/${reader}_fuzz"
  rm -rf "$out/${reader}_corpus"
  mkdir -p "$out/${reader}_corpus"
  cp fuzz/readers/"$reader"/* "$out/${reader}_corpus/"
  fuzz_run "fuzz-readers: $reader" "$out/${reader}_fuzz" "$out/${reader}_fuzz.log" "$seconds" \
    -max_len=65536 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$out/${reader}-" "$out/${reader}_corpus"
done
