#!/bin/sh
# Fuzzes the parameter-string parser and the host's file readers with
# clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh SECONDS [TARGET...]
# TARGETs are parser, ibis, ami, impulse and touchstone (default: all), each
# fuzz/TARGET_fuzz.cpp, built into build-fuzz/ and run for SECONDS on a
# working copy of its seed corpus fuzz/seeds/TARGET/. Any crash, leak or
# sanitizer report fails the script; the reproducer is left in build-fuzz/.
set -e
cd "$(dirname "$0")/.."
seconds=${1:?usage: $0 SECONDS [parser|ibis|ami|impulse|touchstone]...}
shift
[ $# -gt 0 ] || set -- parser ibis ami impulse touchstone
out=build-fuzz
mkdir -p "$out"
flags="-std=c++17 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -DTESSEL_CHECKED=1 -DTESSEL_EXPORT_LIBRARY_CLASSES=0 -Iinclude -Iami -Ilink/common -Ilink/host -Ilink/signal"

# Runs one target and judges it: any crash, leak or sanitizer report fails
# (exit 1, the log's end shown); otherwise one line says how many inputs ran.
run_target() {
  target=$1
  shift
  status=0
  ASAN_OPTIONS=detect_leaks=1 "$out/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$out/${target}-" "$@" "$out/${target}_corpus" >"$out/${target}_fuzz.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] ||
     grep -q -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|==ERROR' "$out/${target}_fuzz.log"; then
    tail -n 60 "$out/${target}_fuzz.log" >&2
    echo "fuzz $target: FAILED (exit $status), see $out/${target}_fuzz.log" >&2
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/${target}_fuzz.log")
  echo "fuzz $target: $executions executions in ${seconds}s, no findings"
}

for target in "$@"; do
  case $target in
    parser) sources="ami/*.cpp" ;;
    ibis) sources="link/host/IbisFile.cpp link/common/InputFile.cpp" ;;
    ami) sources="link/host/AmiFile.cpp link/host/AmiDescription.cpp link/host/ParameterString.cpp
                  link/common/InputFile.cpp ami/*.cpp" ;;
    impulse) sources="link/signal/Channel.cpp link/signal/Fft.cpp link/common/InputFile.cpp" ;;
    touchstone) sources="link/signal/Touchstone.cpp link/signal/MixedMode.cpp link/common/InputFile.cpp" ;;
    *) echo "$0: no fuzz target $target" >&2; exit 2 ;;
  esac
  # shellcheck disable=SC2086
  /usr/bin/clang++ $flags fuzz/"${target}"_fuzz.cpp $sources $(pkg-config --libs fftw3) -o "$out/${target}_fuzz"
  rm -rf "$out/${target}_corpus"
  mkdir -p "$out/${target}_corpus"
  cp fuzz/seeds/"$target"/* "$out/${target}_corpus/"
  # Parameter strings reach 256 KiB, enough for 100 000 levels of nesting
  # and for lists with tens of thousands of entries; files 64 KiB.
  if [ "$target" = parser ]; then
    run_target parser -max_len=262144 -dict=fuzz/parser.dict
  else
    run_target "$target" -max_len=65536 -timeout=10 -rss_limit_mb=2048
  fi
done
