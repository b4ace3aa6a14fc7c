# Runs one libFuzzer target and judges it; sourced by the fuzz scripts.
#   fuzz_run NAME PROGRAM LOG SECONDS [libFuzzer options...] CORPUS
# Any crash, leak or sanitizer report fails (exit 1, the log's end shown);
# otherwise one line says how many inputs ran.
fuzz_run() {
  name=$1 program=$2 log=$3 seconds=$4
  shift 4
  status=0
  ASAN_OPTIONS=detect_leaks=1 "$program" -max_total_time="$seconds" -print_final_stats=1 "$@" \
    >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || grep -q -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|==ERROR' "$log"; then
    tail -n 60 "$log" >&2
    echo "$name: FAILED (exit $status), see $log" >&2
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$name: $executions executions in ${seconds}s, no findings"
}
