#!/usr/bin/env bash
# tonbrook-cli --shard auto as a real Slurm job array: munged, slurmctld and slurmd run here
# on a private configuration, socket and ports in a scratch folder, and a three-task array
# (tasks 3 to 5, so the first task's number counts) converts a tree with colliding names into
# one folder. The tasks must together write exactly what one plain run writes, under the same
# names and with the same decoded audio, each task exiting 0 and reporting its own part in its
# JSON batch event.
# Skips (77) only when Slurm or munge is missing or their daemons cannot run here.
# Usage: slurm_job_array.sh <tonbrook-cli program>
set -euo pipefail
cli=$(realpath "$1")
name=slurm_job_array

skip() {
  echo "$name: skipped, $*"
  exit 77
}
for program in munged mungekey munge unmunge slurmctld slurmd sbatch scontrol sinfo scancel \
  ffmpeg python3; do
  command -v "$program" >/dev/null || skip "$program is not installed"
done
[[ $(id -u) -eq 0 ]] || skip "slurmd runs jobs as their user only when it runs as root"
node=$(hostname -s)

work=$(mktemp -d "${TMPDIR:-/tmp}/tonbrook-slurm.XXXXXX")
chmod 755 "$work"
daemons=()
job=
stop_all() {
  local status=$?
  [[ -z $job ]] || scancel "$job" 2>/dev/null || true
  # slurmd before slurmctld before munged, each given a few seconds to finish.
  local i pid
  for ((i = ${#daemons[@]} - 1; i >= 0; i--)); do
    pid=${daemons[i]}
    kill -TERM "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
  exit "$status"
}
trap stop_all EXIT
trap 'exit 143' TERM INT

show_logs() {
  local log
  for log in "$work"/task-* "$work"/one-run.log "$work"/slurmd.log "$work"/slurmctld.log \
    "$work"/slurm*.out.log "$work"/munge/munged.log; do
    [[ -s $log ]] || continue
    echo "---- ${log#"$work"/}"
    tail -n 40 "$log"
  done
}
fail() {
  echo "$name: FAIL: $*"
  show_logs
  exit 1
}
# wait_for <seconds> <command...>: true once the command succeeds, false when the time is up
# or the daemon started last has ended.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) && kill -0 "${daemons[-1]}" 2>/dev/null || return 1
    sleep 0.2
  done
}
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# munged with its own key, socket, seed, pid and log.
mkdir -m 755 "$work/munge"
mungekey --create --keyfile="$work/munge/munge.key" >/dev/null 2>&1 ||
  dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 600 "$work/munge/munge.key"
socket="$work/munge/munge.socket"
munged --foreground --force --key-file="$work/munge/munge.key" --socket="$socket" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/munged.seed" >"$work/munged.out.log" 2>&1 &
daemons+=($!)
munge_works() { munge -n -S "$socket" | unmunge -S "$socket"; }
wait_for 10 munge_works || { show_logs; skip "munged does not start here"; }

# One node, this machine, in one partition.
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF="$work/slurm.conf"
ctld_port=$(free_port)
slurmd_port=$(free_port)
while ((slurmd_port == ctld_port)); do slurmd_port=$(free_port); done
cat >"$SLURM_CONF" <<EOF
ClusterName=tonbrook
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=tonbrook Nodes=$node Default=YES MaxTime=10 State=UP
EOF
slurmctld -D -f "$SLURM_CONF" >"$work/slurmctld.out.log" 2>&1 &
daemons+=($!)
wait_for 20 scontrol ping || { show_logs; skip "slurmctld does not start here"; }
slurmd -D -N "$node" -f "$SLURM_CONF" >"$work/slurmd.out.log" 2>&1 &
daemons+=($!)
node_idle() { [[ $(sinfo -h -n "$node" -o %T) == idle ]]; }
wait_for 30 node_idle || { show_logs; skip "slurmd does not register its node here"; }

# Short clips, three of them named clip.mp4, each with its own tone and length.
sources=(a/clip.mp4 a/talk.mkv b/clip.mp4 b/song.mov c/clip.mp4 clip.mkv)
for i in "${!sources[@]}"; do
  mkdir -p "$work/videos/$(dirname "${sources[i]}")"
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=160x120:r=25:d=3 \
    -f lavfi -i "sine=frequency=$((330 + 110 * i)):sample_rate=44100:duration=$((i % 3 + 1))" \
    -ac 2 -c:v mpeg4 -c:a aac -shortest "$work/videos/${sources[i]}"
done
"$cli" -q -o "$work/one-run" "$work/videos" >"$work/one-run.log" 2>&1 ||
  fail "the plain run exited with $?"

# The array: tasks 3, 4 and 5, each converting its part into the one shared folder.
cat >"$work/job.sh" <<EOF
#!/bin/bash
#SBATCH --job-name=tonbrook
#SBATCH --array=3-5
#SBATCH --output=$work/task-%a.out
#SBATCH --error=$work/task-%a.err
exec "$cli" --shard auto --json -j 1 -o "$work/out" "$work/videos"
EOF
job=$(sbatch --parsable --chdir="$work" "$work/job.sh") || fail "sbatch refused the job"
job=${job%%;*}
# Every task is in a final state; scontrol prints one line per task once they have started.
tasks_states() {
  scontrol -o show job "$job" |
    sed -E 's/.* ArrayTaskId=([^ ]+) .* JobState=([^ ]+) .* ExitCode=([^ ]+).*/\1 \2 \3/'
}
array_done() {
  local states
  states=$(tasks_states) || return 1
  [[ $(wc -l <<<"$states") -eq 3 ]] &&
    ! grep -qE ' (PENDING|RUNNING|CONFIGURING|COMPLETING|SUSPENDED|REQUEUED)' <<<"$states"
}
wait_for 60 array_done || fail "the array did not finish within 60 s: $(tasks_states)"
states=$(tasks_states | sort)
[[ $states == $'3 COMPLETED 0:0\n4 COMPLETED 0:0\n5 COMPLETED 0:0' ]] ||
  fail "not every task completed with exit status 0: $states"

# Each task said which part it was: task t is part t - 2 of 3.
for task in 3 4 5; do
  python3 - "$work/task-$task.out" "$((task - 2))" <<'EOF' || fail "task $task's events are wrong"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
batch = events[-1]
want = {"index": int(sys.argv[2]), "count": 3}
if batch.get("event") != "batch" or batch.get("shard") != want or batch.get("failed") != 0:
    sys.exit(f"last event {batch}, expected a batch event of part {want} with no failure")
EOF
done

# Together the same names as one run, no other file, and the same audio under each name.
listing() { (cd "$1" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort); }
[[ $(listing "$work/out") == "$(listing "$work/one-run")" ]] ||
  fail "the array wrote [$(listing "$work/out" | paste -sd,)]," \
    "one run wrote [$(listing "$work/one-run" | paste -sd,)]"
decoded() { ffmpeg -nostdin -hide_banner -loglevel error -i "$1" -f s16le - | sha256sum; }
mapfile -t names < <(listing "$work/one-run")
((${#names[@]} == ${#sources[@]})) || fail "one run wrote ${#names[@]} files of ${#sources[@]}"
for file in "${names[@]}"; do
  ours=$(decoded "$work/out/$file") || fail "$file does not decode"
  theirs=$(decoded "$work/one-run/$file") || fail "one run's $file does not decode"
  [[ $ours == "$theirs" ]] || fail "$file holds other audio than one run's $file"
done
echo "$name: 3 Slurm array tasks wrote the ${#names[@]} MP3s one run writes"
