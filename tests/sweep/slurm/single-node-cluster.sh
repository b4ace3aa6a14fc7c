#!/bin/sh
# A real single-node Slurm cluster for the sweep's test, made in a fresh
# folder and gone when the command is done:
#   single-node-cluster.sh FOLDER COMMAND...
# starts munged, slurmctld and slurmd (as root, with a configuration of their
# own in FOLDER, on ports of their own), waits until the node takes work,
# runs COMMAND with SLURM_CONF set, then stops the daemons, whatever
# COMMAND did. Exits 77 (skipped) where Slurm or munge is not installed or
# this is not root, 1 when the cluster does not come up.
set -u
folder=$1
shift
for program in munged slurmctld slurmd sbatch sinfo; do
  command -v "$program" >/dev/null 2>&1 || { echo "no $program: scripts/install-deps.sh ci" >&2; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "the cluster's daemons need root" >&2; exit 77; }

rm -rf "$folder"
mkdir -p "$folder/state" "$folder/spool" "$folder/munge"
host=$(hostname -s)
# Ports of this run's own, so that runs side by side do not meet.
base=$(( 20000 + $$ % 20000 ))
dd if=/dev/urandom of="$folder/munge/munge.key" bs=1024 count=1 2>/dev/null
chmod 400 "$folder/munge/munge.key"
# The node's memory, a little under what it has, so that the emitted --mem
# fits and slurmd does not find the node short of it.
memory=$(awk '/^MemTotal:/ { print int($2 / 1024 * 0.9) }' /proc/meminfo)
cat >"$folder/slurm.conf" <<CONF
ClusterName=orvex-test
SlurmctldHost=$host
SlurmctldPort=$base
SlurmdPort=$(( base + 1 ))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$folder/munge/munge.socket
CryptoType=crypto/munge
StateSaveLocation=$folder/state
SlurmdSpoolDir=$folder/spool
SlurmctldPidFile=$folder/slurmctld.pid
SlurmdPidFile=$folder/slurmd.pid
SlurmctldLogFile=$folder/slurmctld.log
SlurmdLogFile=$folder/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
SchedulerType=sched/builtin
NodeName=$host CPUs=$(nproc) RealMemory=$memory State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$folder/slurm.conf"

munged --force --key-file="$folder/munge/munge.key" --socket="$folder/munge/munge.socket" \
  --pid-file="$folder/munge/munged.pid" --log-file="$folder/munge/munged.log" \
  --seed-file="$folder/munge/munged.seed" || { echo "munged did not start" >&2; exit 1; }
stop() {
  for pidfile in "$folder/slurmd.pid" "$folder/slurmctld.pid" "$folder/munge/munged.pid"; do
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  done
  sleep 1
  for pidfile in "$folder/slurmd.pid" "$folder/slurmctld.pid" "$folder/munge/munged.pid"; do
    [ -f "$pidfile" ] && kill -9 "$(cat "$pidfile")" 2>/dev/null
  done
  return 0
}
trap stop EXIT INT TERM
slurmctld -i || { echo "slurmctld did not start:" >&2; tail -n 20 "$folder/slurmctld.log" >&2; exit 1; }
slurmd || { echo "slurmd did not start:" >&2; tail -n 20 "$folder/slurmd.log" >&2; exit 1; }

tries=0
until sinfo -h -o '%t' 2>/dev/null | grep -q -E '^(idle|mix|alloc)'; do
  tries=$(( tries + 1 ))
  if [ "$tries" -gt 60 ]; then
    echo "the node never came up:" >&2
    sinfo >&2
    tail -n 20 "$folder/slurmctld.log" "$folder/slurmd.log" >&2
    exit 1
  fi
  sleep 1
done
"$@"
