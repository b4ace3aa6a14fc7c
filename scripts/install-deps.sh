#!/bin/sh
# Installs, from Debian's packages, what the build and the tests need and a
# fresh Debian 12 machine lacks. Safe to run again: it installs only what is
# missing. Usage: scripts/install-deps.sh [build|test|ci]
set -e
level=${1:-build}

packages="cmake g++ make pkg-config libcairo2-dev libpng-dev libfontconfig-dev libfftw3-dev
          nlohmann-json3-dev libcli11-dev libssl-dev"
case "$level" in
  test|ci)
    packages="$packages libgtest-dev libgmock-dev googletest libbenchmark-dev
              python3-numpy python3-scipy python3-matplotlib python3-jsonschema parallel
              g++-mingw-w64-i686 binutils-mingw-w64-i686
              g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 valgrind locales"
    ;;
esac
if [ "$level" = ci ]; then
  # debootstrap: the Debian 11 root the Linux libraries are run in; Slurm
  # and munge: the single-node cluster the sweep's test starts.
  packages="$packages clang debootstrap slurmctld slurmd slurm-client munge chromium"
fi

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done

need_wine=no
if [ "$level" != build ]; then
  for p in wine32:i386 wine64; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need_wine=yes
  done
fi

# A mirror caught mid-sync fails the index download now and then: try the
# update a few times, and if it still fails, try the install with the
# indexes already on the machine before giving up.
update_indexes() {
  for attempt in 1 2 3; do
    $SUDO apt-get update -qq && return 0
    echo "apt-get update failed (attempt $attempt); retrying" >&2
    sleep $((attempt * 10))
  done
  return 0
}
install_packages() {
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null || {
    $SUDO apt-get update -qq || true
    $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
  }
}

if [ -n "$missing" ] || [ "$need_wine" = yes ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  [ "$need_wine" = yes ] && $SUDO dpkg --add-architecture i386
  echo "Installing Debian packages:$missing$([ "$need_wine" = yes ] && echo ' wine wine32:i386 wine64')" >&2
  update_indexes
  [ -z "$missing" ] || install_packages $missing
  # wine on its own: a 32-bit index the mirror cannot serve must not keep the
  # build and the other tests from their packages. Without wine the Windows
  # tests say so (skipped, or failed where CI=true).
  if [ "$need_wine" = yes ] && ! install_packages wine wine32:i386 wine64; then
    echo "wine could not be installed from the Debian mirror: the Windows tests cannot run" >&2
  fi
fi
