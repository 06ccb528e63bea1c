#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a batch on a real scheduler: munge and a one-node Slurm cluster
# (slurmctld and slurmd, as root, with a generated slurm.conf in a temporary
# folder) on this machine, then `sbatch --array=0-3 --wait` of
# deploy/slurm/tts-batch.sbatch on a manifest, and checks that the four
# shards together wrote every item exactly once. Installs nothing: run
# `scripts/install-deps.sh slurm` first.
#   tests/slurm/run-one-node.sh TTS_SAY
set -eu
tts_say=$(realpath "$1")
src=$(cd "$(dirname "$0")/../.." && pwd)
items=24
for tool in munged slurmctld slurmd sbatch sinfo; do
  command -v "$tool" >/dev/null 2>&1 || { echo "slurm-test: $tool is missing: scripts/install-deps.sh slurm" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "slurm-test: the daemons run as root here" >&2; exit 1; }

tmp=$(mktemp -d /tmp/tts-slurm-XXXXXX)
chmod 755 "$tmp"
pids=""
stop() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done; done
  rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 1' INT TERM

# munge with a key and socket of its own, so that a system munge is left alone.
mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool" "$tmp/out"
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 2>/dev/null
chmod 755 "$tmp/munge"
chmod 400 "$tmp/munge/munge.key"
munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/socket" \
  --pid-file="$tmp/munge/pid" --log-file="$tmp/munge/log" --seed-file="$tmp/munge/seed" > "$tmp/munged.out" 2>&1 &
pids="$pids $!"

host=$(hostname -s)
cpus=$(nproc)
export SLURM_CONF="$tmp/slurm.conf"
cat > "$SLURM_CONF" <<CONF
ClusterName=ttstest
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=26817
SlurmdPort=26818
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
for i in $(seq 50); do [ -S "$tmp/munge/socket" ] && break; sleep 0.1; done
slurmctld -D -i > "$tmp/slurmctld.out" 2>&1 &
pids="$pids $!"
slurmd -D -N "$host" > "$tmp/slurmd.out" 2>&1 &
pids="$pids $!"

state=""
for i in $(seq 100); do
  state=$(sinfo -h -o %t 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || { echo "slurm-test: the node did not come up ($state)" >&2; tail -n 5 "$tmp"/*.out >&2; exit 1; }

: > "$tmp/items.tsv"
for i in $(seq 0 $((items - 1))); do printf 'item%s\t第%s句。\n' "$i" "$i" >> "$tmp/items.tsv"; done
cd "$tmp"
TTS_SAY=$tts_say sbatch --quiet --wait --array=0-3 --cpus-per-task=1 \
  "$src/deploy/slurm/tts-batch.sbatch" "$tmp/items.tsv" "$tmp/out" ||
  { echo "slurm-test: the array failed" >&2; cat "$tmp"/tts-batch-*.log >&2; exit 1; }

# Each item's id exactly once over the four shards' results, each spoken.
written=$(cat "$tmp"/out/results-*-of-4.jsonl | sed -n 's/.*"id":"\([^"]*\)".*"status":"ok".*/\1/p' | sort)
expected=$(cut -f1 "$tmp/items.tsv" | sort)
shards=$(ls "$tmp"/out/results-*-of-4.jsonl | wc -l)
wavs=$(ls "$tmp"/out/*.wav | wc -l)
if [ "$written" != "$expected" ] || [ "$shards" -ne 4 ] || [ "$wavs" -ne "$items" ]; then
  echo "slurm-test: the shards did not write every item exactly once ($shards shards, $wavs WAVs)" >&2
  echo "$written" | uniq -c | awk '$1 != 1' >&2
  exit 1
fi
echo "slurm-test: 4 array tasks wrote $items items, each exactly once"
