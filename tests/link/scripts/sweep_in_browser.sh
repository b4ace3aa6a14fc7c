#!/bin/sh
# A sweep's sweep.html in a real headless browser (Debian's chromium): the
# page loads, every picture in it loads, it fetches nothing from the
# network, its table sorts by a column clicked, and a screenshot of it is
# not blank.
# Usage: sweep_in_browser.sh <orvex-sweep> <test model folder> <source folder>
set -e
program=$1
models=$2
. "$3/scripts/platform-skip.sh"
. "$3/tests/link/scripts/page_in_browser.sh"
command -v chromium >/dev/null 2>&1 || skip_platform_test "chromium is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 2 x 3, one corner refused (a channel file of zeros): every kind of cell.
printf '0 0\n3.125e-12 0\n6.25e-12 0\n' >"$work/zeros.txt"
status=0
"$program" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" --bits 3000 \
  --tx Deemphasis=0.1,0.3 --channel loss:2,8 --channel "file:$work/zeros.txt" --jobs 2 --out "$work/sweep" \
  >/dev/null || status=$?
[ "$status" -eq 4 ] || { echo "FAILED: orvex-sweep exited $status, not 4"; exit 1; }
page="$work/sweep/sweep.html"
[ -s "$page" ] || { echo "FAILED: no sweep.html"; exit 1; }
check_offline "$page"
check_pictures "$page"

# Clicked twice, the corner column puts the last corner first.
title=$(page_title "$page" 'var t=document.getElementById("corners"),h=t.tHead.rows[0].cells[0];h.click();h.click();document.title="FIRST "+t.tBodies[0].rows[0].cells[0].textContent+" OF "+t.tBodies[0].rows.length;')
[ "$title" = "FIRST 6 OF 6" ] || { echo "FAILED: sorting the corners: ${title:-the page did not load}"; exit 1; }
echo "sweep.html: sorted, $title"
check_screenshot "$page"
