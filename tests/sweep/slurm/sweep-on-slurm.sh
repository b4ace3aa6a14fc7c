#!/bin/sh
# A sweep run as Slurm job arrays on a real single-node cluster, in a folder
# whose name holds a space, a quote, $(...) and %: split into two arrays of
# one task each (--slurm-max-array 1), with site options and a collect job
# after both, all submitted by the emitted helper. Every corner must have
# run under Slurm (its task's log there, its summary with a verdict) and the
# collect job must have gathered them, as on a cluster of many machines. An
# array submitted again runs none of its corners twice.
#   sweep-on-slurm.sh ORVEX_SWEEP TEST_MODEL_DIR SCRATCH
# Exits 77 (skipped) where no cluster can be started here.
set -eu
if [ "$1" != --in-cluster ]; then
  rm -rf "$3"
  mkdir -p "$3"
  exec "$(dirname "$0")/single-node-cluster.sh" "$3/cluster" "$0" --in-cluster "$@"
fi
sweep=$2
models=$3
scratch=$4
# Anything the folder's name ran would land here.
cd "$scratch"
out="$scratch/sweep 'q' \$(touch ran-from-name) 5%"

"$sweep" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" --bits 3000 \
  --channel loss:3 --tx Deemphasis=0.1,0.2,0.3 --out "$out" --emit-slurm "$out/sweep.slurm" \
  --corners-per-task 2 --slurm-max-array 1 --slurm-collect \
  --slurm-option --partition=test --slurm-option "--comment='a sweep'" >"$scratch/emit.log"
sh "$out/sweep.slurm" >"$scratch/submit.log"
cat "$scratch/submit.log"
collect=$(sed -n 's/^collect: job //p' "$scratch/submit.log")
[ -n "$collect" ] || { echo "no collect job"; exit 1; }
# The arrays and the collect job run to their end; a job that never ends fails the test.
tries=0
while squeue -h -j "$collect" 2>/dev/null | grep -q .; do
  tries=$(( tries + 1 ))
  [ "$tries" -le 120 ] || { echo "the collect job did not end"; squeue; exit 1; }
  sleep 1
done
cat "$out"/slurm-collect-*.out
grep -q 'best by' "$out"/slurm-collect-*.out || { echo "the collect job printed no result"; exit 1; }
logs=$(ls "$out"/slurm-*_*.out | wc -l)
[ "$logs" -eq 2 ] || { echo "$logs array task logs, not 2"; ls "$out"; exit 1; }
rows=$(grep -c -E '^[0-9]+,corners/[0-9]+,[0-9.]+,(pass|fail|unreliable),' "$out/sweep.csv" || true)
[ "$rows" -eq 3 ] || { echo "$rows of 3 corners ran"; cat "$out/sweep.csv"; exit 1; }
# The first array submitted again runs none of its corners a second time.
before=$(ls -l --time-style=full-iso "$out"/corners/*/summary.json)
timeout 120 sbatch --wait --quiet "$out/sweep-1.slurm"
[ "$(ls -l --time-style=full-iso "$out"/corners/*/summary.json)" = "$before" ] ||
  { echo "a corner ran again when resubmitted"; exit 1; }
[ ! -e "$scratch/ran-from-name" ] || { echo "the folder's name ran as a command"; exit 1; }
echo "3 corners ran as 2 Slurm arrays of one task each, then collected; none ran again when resubmitted"
