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
. scripts/fuzz-run.sh
seconds=${1:?usage: $0 SECONDS}
out=build-fuzz
mkdir -p "$out/corpus"
cp fuzz/corpus/* "$out/corpus/"

/usr/bin/clang++ -std=c++17 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -DTESSEL_CHECKED=1 -DTESSEL_EXPORT_LIBRARY_CLASSES=0 -Iinclude -Iami \
  fuzz/parser_fuzz.cpp ami/*.cpp -o "$out/parser_fuzz"

fuzz_run fuzz-parser "$out/parser_fuzz" "$out/fuzz.log" "$seconds" \
  -max_len=262144 -dict=fuzz/parser.dict -artifact_prefix="$out/" "$out/corpus"
