#!/bin/sh
# Fails when a Linux model library needs a glibc symbol version newer than
# the oldest C library the kit supports, or loads anything beyond the C
# library, libm, the dynamic loader and (for an old C library) libpthread
# and libdl.
#   check-glibc-versions.sh OLDEST_VERSION LIBRARY.so...
oldest=$1
shift
status=0
for library in "$@"; do
  if [ ! -f "$library" ]; then
    echo "FAILED: $library is missing"
    status=1
    continue
  fi
  newest=$(objdump -T "$library" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -u -V | tail -n 1)
  echo "$library: newest glibc symbol version $newest"
  if [ "$(printf '%s\n%s\n' "$oldest" "$newest" | sort -V | tail -n 1)" != "$oldest" ]; then
    objdump -T "$library" | grep -o 'GLIBC_[0-9][0-9.]*) *[^ ]*$' | while read -r version symbol; do
      version=${version#GLIBC_}
      version=${version%)}
      if [ "$(printf '%s\n%s\n' "$oldest" "$version" | sort -V | tail -n 1)" != "$oldest" ]; then
        echo "  $symbol needs GLIBC_$version"
      fi
    done
    echo "FAILED: $library needs GLIBC_$newest, newer than GLIBC_$oldest"
    status=1
  fi
  needed=$(objdump -p "$library" | awk '/NEEDED/ { print $2 }')
  for dependency in $needed; do
    case "$dependency" in
      libc.so.6|libm.so.6|ld-linux-x86-64.so.2|libpthread.so.0|libdl.so.2) ;;
      *) echo "FAILED: $library loads $dependency"; status=1 ;;
    esac
  done
done
exit $status
