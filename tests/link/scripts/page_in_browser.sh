# Sourced by the browser tests (report_in_browser.sh, sweep_in_browser.sh):
# a page checked in Debian's headless chromium. Needs $work, a scratch folder.
#   check_offline PAGE     it fetches nothing from the network
#   check_pictures PAGE    it loads, and so does every picture in it (natural width above 0)
#   check_screenshot PAGE  a screenshot of it is not blank
#   page_title PAGE SCRIPT the page's title once it has loaded and SCRIPT has run in it

browse() {
  HOME="$work" chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/profile" \
    --virtual-time-budget=10000 "$@" 2>/dev/null
}

check_offline() {
  if grep -Eq '(src|href)="(https?:)?//' "$1"; then
    echo "FAILED: $(basename "$1") fetches from the network"; exit 1
  fi
}

# The same page, beside it (so that its pictures load), with SCRIPT run on
# load; the title it leaves.
page_title() {
  probe="$(dirname "$1")/probe.html"
  script=$(printf '%s' "$2" | sed 's/[&#\\]/\\&/g')
  sed "s#</body>#<script>window.addEventListener(\"load\",function(){$script});</script></body>#" "$1" >"$probe"
  browse --dump-dom "file://$probe" | sed -n 's#.*<title>\([^<]*\)</title>.*#\1#p'
  rm -f "$probe"
}

check_pictures() {
  title=$(page_title "$1" 'var p=document.images,m=[];for(var i=0;i<p.length;i++){if(!(p[i].naturalWidth>0))m.push(p[i].getAttribute("src"));}document.title=(p.length&&!m.length)?"PICTURES-LOADED "+p.length:"PICTURES-MISSING "+m.join(" ");')
  case "$title" in
    "PICTURES-LOADED "[1-9]*) echo "$(basename "$1"): $title" ;;
    *) echo "FAILED: $(basename "$1")'s pictures: ${title:-the page did not load}"; exit 1 ;;
  esac
}

check_screenshot() {
  browse --screenshot="$work/shot.png" --window-size=1200,1600 "file://$1" >/dev/null
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
}
