#!/bin/sh
# Prints the path of a Debian 11 root (glibc 2.31, python3), building it with
# debootstrap from the Debian archive that apt on this machine uses when it
# is not there yet. The root is kept outside the source tree (by default in
# /var/cache/orvex-kit/debian11-root, or $ORVEX_DEBIAN11_ROOT), so later runs
# and fresh clones reuse it. Needs root (debootstrap) and the debootstrap
# package (scripts/install-deps.sh ci).
#   debian11-root.sh          build when missing, print the path
#   debian11-root.sh --check  print the path if it is built, else fail
set -e
root=${ORVEX_DEBIAN11_ROOT:-/var/cache/orvex-kit/debian11-root}
stamp="$root/.orvex-root-complete"

if [ -f "$stamp" ]; then
  echo "$root"
  exit 0
fi
if [ "${1:-}" = --check ]; then
  echo "debian11-root: no Debian 11 root at $root" >&2
  exit 1
fi
if ! command -v debootstrap >/dev/null 2>&1; then
  echo "debian11-root: debootstrap is not installed" >&2
  exit 1
fi

# The archive apt reads Debian's own packages from (one-line or deb822 form).
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
           2>/dev/null |
         sed -n -e 's|^deb \(\[[^]]*\] \)*\(https*://[^ ]*/debian\)/* .*|\2|p' \
                -e 's|^URIs: *\(https*://[^ ]*/debian\)/*$|\1|p' | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}

# Built beside the final place and renamed when complete: an interrupted
# run leaves no half-made root behind that a later run would take as done.
mkdir -p "$(dirname "$root")"
work="$root.partial.$$"
trap 'rm -rf "$work"' EXIT
echo "debian11-root: debootstrap bullseye from $mirror into $root" >&2
debootstrap --variant=minbase --include=python3 bullseye "$work" "$mirror" >"$work.log" 2>&1 ||
  { tail -n 20 "$work.log" >&2; rm -f "$work.log"; exit 1; }
rm -f "$work.log"
touch "$work/.orvex-root-complete"
# A root another run completed meanwhile is kept (ours is then dropped);
# a half-made one left by an interrupted run is replaced.
[ -f "$stamp" ] || rm -rf "$root"
if mv -T "$work" "$root" 2>/dev/null; then
  trap - EXIT
fi
[ -f "$stamp" ] || exit 1
echo "$root"
