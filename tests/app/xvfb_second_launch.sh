#!/usr/bin/env bash
# On a session bus a second launch hands its files to the running Tonbrook and ends at once:
# one window remains, and its queue holds the files of both launches in order. Without a
# reachable bus every launch runs alone with its own window.
# Usage: xvfb_second_launch.sh <tonbrook program>
set -euo pipefail
app=$(realpath "$1")
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

bus_pid=""
alone_pids=()
trap 'kill ${alone_pids[@]+"${alone_pids[@]}"} $bus_pid 2>/dev/null || true; cleanup' EXIT

count_windows() {
  # xdotool fails now and then while windows come and go; that counts as none this time.
  { xdotool search --onlyvisible --name '^Tonbrook$' 2>/dev/null || true; } | wc -l
}

# One clip name in three containers, 1, 2 and 3 s long. Outputs of one name are numbered in
# queue order (clip.mp3, "clip (2).mp3", "clip (3).mp3"), and each length tells its source.
declare -A seconds=([mp4]=1 [mkv]=2 [mov]=3)
for ext in mp4 mkv mov; do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc=s=160x120:r=25:d=${seconds[$ext]}" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=${seconds[$ext]}" -ac 2 \
    -c:v mpeg4 -c:a aac -shortest "$work/clip.$ext"
done

read -r -d '' bus_address bus_pid < <(dbus-daemon --session --fork --print-address=1 \
  --print-pid=1; printf '\0') || true
[[ -n $bus_address && -n $bus_pid ]] || fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=$bus_address

start_xvfb
(cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb exec "$app" clip.mp4) >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_for_window)

started=$(date +%s%N)
status=0
(cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb exec timeout 20 "$app" clip.mkv "$work/clip.mov") \
  >"$work/second.log" 2>&1 || status=$?
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
((status == 0)) || fail "the second launch exited with status $status: $(cat "$work/second.log")"
((elapsed_ms < 5000)) || fail "the second launch took ${elapsed_ms} ms"
sleep 0.5
windows=$(count_windows)
((windows == 1)) || fail "$windows windows after the second launch"

extract_until 3 "$work"
outputs=(clip.mp3 "clip (2).mp3" "clip (3).mp3")
for i in 0 1 2; do
  want=$((i + 1))
  lasts "$work/${outputs[$i]}" "$((i)).8" "$want.3" ||
    fail "${outputs[$i]} is missing or not ${want} s long (queue order)"
done

# No bus to reach: two more launches, two more windows.
for _ in 1 2; do
  (cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    exec "$app") >>"$work/alone.log" 2>&1 &
  alone_pids+=($!)
done
for _ in $(seq 300); do
  windows=$(count_windows)
  ((windows >= 3)) && break
  sleep 0.1
done
((windows == 3)) || fail "$windows windows with two launches that have no bus (3 expected)"
echo "$test_name: second launch forwarded in ${elapsed_ms} ms; one window converted 3 files in" \
  "order; without a bus each launch had its own window"
