#!/bin/sh
# Fails when a Linux model library needs a glibc symbol version newer than
# the oldest C library the kit supports, and lists the symbols that do.
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
done
exit $status
