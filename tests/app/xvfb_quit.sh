#!/usr/bin/env bash
# Quit under a real X server ends the app within 2 s while one inspection is stuck on a FIFO
# that nobody writes and one extraction runs, and leaves no partial or temporary file.
# Usage: xvfb_quit.sh <tonbrook program>
set -euo pipefail
app=$(realpath "$1")
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

mkfifo "$work/stuck.mp4"
# Long enough that its extraction still runs when Quit is pressed.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=600 \
  -ac 2 -c:a flac "$work/long.mkv"

start_xvfb
(cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb exec "$app" stuck.mp4 long.mkv) \
  >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_for_window)

partial=""
for _ in $(seq 120); do
  partial=$(find "$work" -maxdepth 1 -name '.long.*.part' | head -n1)
  [[ -n $partial ]] && break
  kill -0 "$app_pid" 2>/dev/null || fail "the app exited early"
  xdotool key --clearmodifiers ctrl+e || true
  sleep 0.5
done
[[ -n $partial ]] || fail "the extraction did not start"

xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+q
started=$(date +%s%N)
while kill -0 "$app_pid" 2>/dev/null; do
  (( $(date +%s%N) - started < 2000000000 )) || fail "the app still runs 2 s after Quit"
  sleep 0.05
done
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
status=0
wait "$app_pid" || status=$?
app_pid=""
((status == 0)) || fail "the app exited with status $status"
left=$(find "$work" -maxdepth 1 \( -name '*.part' -o -name '*.mp3' \) -printf '%f ')
[[ -z $left ]] || fail "files left behind: $left"
echo "$test_name: quit in ${elapsed_ms} ms with a stuck inspection and a running extraction"
