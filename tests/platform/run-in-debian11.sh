#!/bin/sh
# Runs the kit's Linux libraries in a Debian 11 root (glibc 2.31, built by
# scripts/debian11-root.sh) with the ctypes host, and on this machine with
# the same host, and fails unless both runs pass and return the same bits.
#   run-in-debian11.sh SOURCE_DIR RECEIVER.so TRANSMITTER.so
source_dir=$1
receiver=$2
transmitter=$3
. "$source_dir/scripts/platform-skip.sh"

root=$("$source_dir/scripts/debian11-root.sh" --check 2>/dev/null) ||
  skip_platform_test "no Debian 11 root: run scripts/debian11-root.sh (as root)"
[ "$(id -u)" -eq 0 ] || skip_platform_test "running in the Debian 11 root needs root (chroot)"

# A private folder inside the root, for the libraries, the host and the
# adaptation's log file.
work=$(mktemp -d "$root/tmp/orvex-kit.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cp "$receiver" "$work/receiver.so" && cp "$transmitter" "$work/transmitter.so" &&
  cp "$source_dir/tests/platform/ctypes_host.py" "$work/" || exit 1
inside=${work#"$root"}

echo "== Debian 11 root"
chroot "$root" /bin/sh -c "cd '$inside' && exec python3 ctypes_host.py receiver.so transmitter.so" \
  >"$work/old.txt" 2>&1
old_status=$?
cat "$work/old.txt"
echo "== this machine"
(cd "$work" && python3 ctypes_host.py receiver.so transmitter.so) >"$work/here.txt" 2>&1
here_status=$?
cat "$work/here.txt"

[ $old_status -eq 0 ] || { echo "FAILED: the run in the Debian 11 root"; exit 1; }
[ $here_status -eq 0 ] || { echo "FAILED: the run on this machine"; exit 1; }
grep -q '^C library: glibc 2\.31$' "$work/old.txt" || { echo "FAILED: the root is not glibc 2.31"; exit 1; }
if [ "$(grep '^digest:' "$work/old.txt")" != "$(grep '^digest:' "$work/here.txt")" ]; then
  echo "FAILED: the libraries return different bits on the two C libraries"
  exit 1
fi
echo "same bits on both C libraries"
