#!/bin/sh
# A run's report.html in a real headless browser (Debian's chromium): the
# page loads, every picture in it loads (its natural width is above 0), it
# fetches nothing from the network, and a screenshot of it is not blank.
# Usage: report_in_browser.sh <orvex-link> <test model folder> <source folder>
set -e
program=$1
models=$2
. "$3/scripts/platform-skip.sh"
. "$3/tests/link/scripts/page_in_browser.sh"
command -v chromium >/dev/null 2>&1 || skip_platform_test "chromium is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" \
  --bits 3000 --channel loss:3 --out "$work/run" >/dev/null
report="$work/run/report.html"
[ -s "$report" ] || { echo "FAILED: no report.html"; exit 1; }
check_offline "$report"
check_pictures "$report"
check_screenshot "$report"
