#!/bin/sh
# orvex-sweep's throughput on this machine: a 64-corner plan of the kit's
# models (DE 0-7 x VOD 0-7) at the models' default bits, run with --jobs 1,
# --jobs 2, through GNU parallel (-j 2), and as a Slurm array on a
# single-node cluster started for the purpose (where this is root and Slurm
# is installed); then the bytes and files each corner keeps, lean (the
# default, --keep summary) and whole (--keep all). Prints corners per
# second for each way. A benchmark, not a test: run it on an idle machine.
#   scripts/bench-sweep.sh [BUILD_FOLDER]    (default: build)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
sweep="$build/orvex-sweep"
work=$(mktemp -d /tmp/orvex-bench-sweep.XXXXXX)
trap 'rm -rf "$work"' EXIT
plan="--tx DE=0:7 --tx VOD=0:7"
corners=64

# Seconds since the epoch, with nanoseconds.
now() { date +%s.%N; }
rate() { awk -v n="$corners" -v a="$1" -v b="$2" 'BEGIN { printf "%.2f corners/s (%.1f s)", n / (b - a), b - a }'; }
# A sweep's exit status is its corners' verdicts: 0, 3 and 4 all mean it ran.
ran() { status=0; "$@" || status=$?; [ $status -eq 0 ] || [ $status -eq 3 ] || [ $status -eq 4 ]; }

for jobs in 1 2; do
  start=$(now)
  ran "$sweep" --quiet $plan --out "$work/jobs$jobs" --jobs "$jobs" >/dev/null
  echo "--jobs $jobs:        $(rate "$start" "$(now)")"
done

if command -v parallel >/dev/null 2>&1; then
  "$sweep" --quiet $plan --out "$work/parallel" --emit-jobs "$work/parallel.txt" >/dev/null
  start=$(now)
  parallel --will-cite -j 2 <"$work/parallel.txt"
  ran "$sweep" --quiet --collect "$work/parallel" >/dev/null
  echo "GNU parallel -j 2: $(rate "$start" "$(now)") with the collection"
fi

if [ "$(id -u)" -eq 0 ] && command -v slurmctld >/dev/null 2>&1; then
  cat >"$work/on-slurm.sh" <<SCRIPT
#!/bin/sh
set -eu
"$sweep" --quiet $plan --out "$work/slurm" --emit-slurm "$work/slurm/sweep.slurm" --corners-per-task 8 >/dev/null
start=\$(date +%s.%N)
sbatch --wait --quiet "$work/slurm/sweep.slurm" || true
status=0
"$sweep" --quiet --collect "$work/slurm" >/dev/null || status=\$?
[ \$status -eq 0 ] || [ \$status -eq 3 ] || [ \$status -eq 4 ]
awk -v n=$corners -v a="\$start" -v b="\$(date +%s.%N)" \
  'BEGIN { printf "Slurm (8 a task):  %.2f corners/s (%.1f s) with the collection\n", n / (b - a), b - a }'
SCRIPT
  chmod +x "$work/on-slurm.sh"
  "$here/tests/sweep/slurm/single-node-cluster.sh" "$work/cluster" "$work/on-slurm.sh" || echo "Slurm: the cluster did not come up"
fi

ran "$sweep" --quiet $plan --out "$work/all" --keep all --jobs 2 >/dev/null
for kept in jobs2 all; do
  files=$(find "$work/$kept/corners" -type f | wc -l)
  bytes=$(du -sb "$work/$kept/corners" | cut -f1)
  echo "$kept: $(( files / corners )) files, $(( bytes / corners / 1024 )) KB per corner" |
    sed 's/^jobs2:/--keep summary:/; s/^all:/--keep all:/'
done
