#!/bin/sh
# A run's report.html in a real headless browser (Debian's chromium): the
# page loads, every picture in it loads (its natural width is above 0), it
# fetches nothing from the network, and a screenshot of it is not blank.
# Usage: report_in_browser.sh <orvex-link> <test model folder> <source folder>
set -e
program=$1
models=$2
. "$3/scripts/platform-skip.sh"
command -v chromium >/dev/null 2>&1 || skip_platform_test "chromium is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" \
  --bits 3000 --channel loss:3 --out "$work/run" >/dev/null
report="$work/run/report.html"
[ -s "$report" ] || { echo "FAILED: no report.html"; exit 1; }
if grep -Eq '(src|href)="(https?:)?//' "$report"; then
  echo "FAILED: the report fetches from the network"; exit 1
fi

browse() {
  HOME="$work" chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/profile" \
    --virtual-time-budget=10000 "$@" 2>/dev/null
}

# The same page with a probe that names the pictures that did not load in
# its title once everything has.
sed 's#</body>#<script>window.addEventListener("load",function(){var p=document.images,m=[];for(var i=0;i<p.length;i++){if(!(p[i].naturalWidth>0))m.push(p[i].getAttribute("src"));}document.title=(p.length\&\&!m.length)?"PICTURES-LOADED "+p.length:"PICTURES-MISSING "+m.join(" ");});</script></body>#' \
  "$report" >"$work/run/probe.html"
title=$(browse --dump-dom "file://$work/run/probe.html" | sed -n 's#.*<title>\([^<]*\)</title>.*#\1#p')
case "$title" in
  "PICTURES-LOADED "[1-9]*) echo "report.html: $title" ;;
  *) echo "FAILED: report.html's pictures: ${title:-the page did not load}"; exit 1 ;;
esac

browse --screenshot="$work/shot.png" --window-size=1200,1600 "file://$report" >/dev/null
# Not blank: a page of one colour decodes to a handful of byte values.
python3 - "$work/shot.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
at, idat, width, height = 8, b"", 0, 0
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    if kind == b"IHDR":
        width, height = struct.unpack(">II", data[at + 8:at + 16])
    if kind == b"IDAT":
        idat += data[at + 8:at + 8 + length]
    at += 12 + length
values = len(set(zlib.decompress(idat)))
print(f"screenshot: {width} x {height} pixels, {values} distinct byte values")
sys.exit(0 if values > 32 else 1)
PY
