#!/bin/sh
# A sweep run as Slurm job arrays on a real single-node cluster, in a folder
# whose name holds a space, a quote, $(...) and %: split into two arrays of
# one task each (--slurm-max-array 1), with site options and a collect job
# after both, all submitted by the emitted helper. Every corner must have
# run under Slurm (its task's log there, its summary with a verdict) and the
# collect job must have gathered them, as on a cluster of many machines,
# into the table the same plan gives on this machine. An array submitted
# again runs none of its corners twice; a task cancelled mid-way leaves its
# unfinished corners to the next submission.
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

# Waits up to two minutes for a job to leave the queue: WHAT did not end, else.
wait_for_job() {
  tries=0
  while squeue -h -j "$1" 2>/dev/null | grep -q .; do
    tries=$(( tries + 1 ))
    [ "$tries" -le 120 ] || { echo "$2 did not end"; squeue; exit 1; }
    sleep 1
  done
}
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
wait_for_job "$collect" "the collect job"
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
# The same plan run on this machine gives the same table, apart from the run times.
status=0
"$sweep" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" --bits 3000 \
  --channel loss:3 --tx Deemphasis=0.1,0.2,0.3 --out "$scratch/local" >"$scratch/local.log" || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || { echo "the local sweep exited $status"; cat "$scratch/local.log"; exit 1; }
sed 's/,[^,]*$//' "$out/sweep.csv" >"$scratch/slurm.table"
sed 's/,[^,]*$//' "$scratch/local/sweep.csv" >"$scratch/local.table"
cmp -s "$scratch/slurm.table" "$scratch/local.table" ||
  { echo "Slurm and this machine disagree:"; diff "$scratch/slurm.table" "$scratch/local.table"; exit 1; }

# A task cancelled while its corners run leaves the unfinished ones to the
# next submission, and no corner is counted twice.
cancel="$scratch/cancel"
"$sweep" --quiet --tx-model "$models/LinkTestTx.so" --rx-model "$models/LinkTestRxClock.so" --bits 300000 \
  --channel loss:3 --tx Deemphasis=0.1,0.15,0.2,0.25 --out "$cancel" --emit-slurm "$cancel/sweep.slurm" \
  --corners-per-task 2 --slurm-throttle 1 >"$scratch/cancel-emit.log"
job=$(sbatch --parsable "$cancel/sweep.slurm")
tries=0
until [ -s "$cancel/corners/1/summary.json" ]; do
  tries=$(( tries + 1 ))
  [ "$tries" -le 600 ] || { echo "the first corner never finished"; squeue; exit 1; }
  sleep 0.1
done
sleep 0.5
scancel "${job}_0"
wait_for_job "$job" "the cancelled array"
[ ! -e "$cancel/corners/2/summary.json" ] || { echo "corner 2 finished before its task was cancelled"; exit 1; }
timeout 300 sbatch --wait --quiet "$cancel/sweep.slurm" || true
status=0
"$sweep" --quiet --collect "$cancel" >"$scratch/cancel-collect.log" || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || { echo "collect exited $status"; cat "$scratch/cancel-collect.log"; exit 1; }
rows=$(grep -c -E '^[0-9]+,corners/[0-9]+,[0-9.]+,(pass|fail|unreliable),' "$cancel/sweep.csv" || true)
[ "$rows" -eq 4 ] || { echo "$rows of 4 corners have results after the resubmission"; cat "$cancel/sweep.csv"; exit 1; }
for corner in 1 2 3 4; do
  records=$(grep -c "^corner $corner: " "$cancel/journal.txt" || true)
  [ "$records" -eq 1 ] || { echo "corner $corner was recorded $records times"; cat "$cancel/journal.txt"; exit 1; }
done
echo "3 corners ran as 2 Slurm arrays of one task each, then collected, as on this machine; none ran again when"
echo "resubmitted; a cancelled task's unfinished corner ran on the next submission, once"
