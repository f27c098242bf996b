#!/usr/bin/env bash
# The desktop app under a real X server: it opens its window with the files of its command
# line queued, converts them when Ctrl+E is pressed, and exits cleanly when the window closes.
# Usage: xvfb_end_to_end.sh <tonbrook program>
set -euo pipefail
app=$1
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

# Two short clips with a space in one name, as a file manager would pass them.
for name in "first clip" second; do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=320x240:r=25:d=2 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 -c:v mpeg4 -c:a aac \
    -shortest "$work/$name.mp4"
done

start_xvfb
(cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb exec "$app" "first clip.mp4" "$work/second.mp4") \
  >"$work/app.log" 2>&1 &
app_pid=$!

window=$(wait_for_window)

# Ctrl+E does nothing until the queued files are inspected and while the batch runs.
for _ in $(seq 240); do
  if [[ -s "$work/first clip.mp3" && -s $work/second.mp3 ]]; then
    break
  fi
  kill -0 "$app_pid" 2>/dev/null || fail "the app exited early"
  xdotool key --clearmodifiers ctrl+e || true
  sleep 0.5
done

for name in "first clip" second; do
  duration=""
  for _ in $(seq 60); do
    duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/$name.mp3" \
      2>/dev/null || true)
    if [[ -n $duration ]] && awk -v d="$duration" 'BEGIN { exit !(d > 1.8 && d < 2.3) }'; then
      break
    fi
    duration=""
    sleep 0.5
  done
  [[ -n $duration ]] || fail "$name.mp3 was not written"
done

python3 "$here/close_window.py" "$window"
for _ in $(seq 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  fail "the app did not quit when its window closed"
fi
status=0
wait "$app_pid" || status=$?
app_pid=""
((status == 0)) || fail "the app exited with status $status"
echo "xvfb_end_to_end: window shown, 2 files converted, clean exit"
