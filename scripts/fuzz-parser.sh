#!/bin/sh
# Fuzzes the parameter-string parser for SECONDS seconds.
#   scripts/fuzz-parser.sh SECONDS
# Builds fuzz/parser_fuzz.cpp with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs it on a working copy
# of the seed corpus fuzz/corpus/, with the dictionary fuzz/parser.dict.
# Inputs reach 256 KiB, enough for 100 000 levels of nesting and for value
# lists and branches with tens of thousands of entries. Any crash, leak or
# sanitizer report fails the script; the reproducer is left in build-fuzz/.
set -e
cd "$(dirname "$0")/.."
seconds=${1:?usage: $0 SECONDS}
out=build-fuzz
mkdir -p "$out/corpus"
cp fuzz/corpus/* "$out/corpus/"

/usr/bin/clang++ -std=c++17 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -DTESSEL_CHECKED=1 -DTESSEL_EXPORT_LIBRARY_CLASSES=0 -Iinclude -Iami \
  fuzz/parser_fuzz.cpp ami/*.cpp -o "$out/parser_fuzz"

status=0
ASAN_OPTIONS=detect_leaks=1 "$out/parser_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
  -max_len=262144 -dict=fuzz/parser.dict \
  -artifact_prefix="$out/" "$out/corpus" >"$out/fuzz.log" 2>&1 || status=$?
if [ "$status" -ne 0 ] ||
   grep -q -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|==ERROR' "$out/fuzz.log"; then
  tail -n 60 "$out/fuzz.log" >&2
  echo "fuzz-parser: FAILED (exit $status), see $out/fuzz.log" >&2
  exit 1
fi
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/fuzz.log")
inputs=$(ls "$out/corpus" | wc -l)
echo "fuzz-parser: $executions executions in ${seconds}s, corpus $inputs inputs, no findings"
