#!/usr/bin/env bash
# Runs a command with a private PulseAudio server whose only output is a null sink, so
# playback really runs (Qt's FFmpeg back end needs an audio device for its clock).
# With --no-sink the server starts with no output at all, as on a machine without a sound
# card; a test can add one later with pactl.
# Usage: with_null_sink.sh [--no-sink] <command> [arguments...]
set -euo pipefail

sink=(--load="module-null-sink sink_name=tonbrook_null")
if [[ ${1-} == --no-sink ]]; then
  sink=()
  shift
fi

runtime=$(mktemp -d)
chmod 700 "$runtime"
socket="$runtime/native"
XDG_RUNTIME_DIR="$runtime" HOME="$runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --disallow-exit --use-pid-file=no --log-target=stderr --log-level=error \
  "${sink[@]}" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$socket" 2>"$runtime/pulse.log" &
pulse=$!
cleanup() {
  kill "$pulse" 2>/dev/null || true
  wait "$pulse" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

for _ in $(seq 100); do
  [[ -S $socket ]] && break
  sleep 0.05
done
if [[ ! -S $socket ]]; then
  echo "with_null_sink: PulseAudio did not start" >&2
  cat "$runtime/pulse.log" >&2
  exit 1
fi

PULSE_SERVER="unix:$socket" "$@"
