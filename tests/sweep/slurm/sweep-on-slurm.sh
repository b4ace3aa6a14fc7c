#!/bin/sh
# A sweep run as a Slurm job array on a real single-node cluster, then
# collected: every corner must have run under Slurm (its task's log there,
# its summary with a verdict), as on a cluster of many machines.
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
out="$scratch/sweep"

"$sweep" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" --bits 3000 \
  --channel loss:3 --tx Deemphasis=0.1,0.2,0.3 --out "$out" --emit-slurm "$out/sweep.slurm" \
  --corners-per-task 2 >"$scratch/emit.log"
# The array runs to its end; one that never ends fails the test.
timeout 120 sbatch --wait --quiet "$out/sweep.slurm"
status=0
"$sweep" --collect "$out" >"$scratch/collect.log" || status=$?
cat "$scratch/collect.log"
# 0 (all pass) or 3 (some fail): never 4, which a corner that did not run gives.
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || { echo "collect exited $status"; exit 1; }
logs=$(ls "$out"/slurm-*.out | wc -l)
[ "$logs" -eq 2 ] || { echo "$logs array task logs, not 2"; ls "$out"; exit 1; }
rows=$(grep -c -E '^[0-9]+,corners/[0-9]+,[0-9.]+,(pass|fail|unreliable),' "$out/sweep.csv" || true)
[ "$rows" -eq 3 ] || { echo "$rows of 3 corners ran"; cat "$out/sweep.csv"; exit 1; }
echo "3 corners ran as 2 Slurm array tasks"
