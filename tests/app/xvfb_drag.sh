#!/usr/bin/env bash
# Drags from another program onto the empty window under a real X server (XDND): a web link
# leaves the drop zone exactly as it was and adds nothing; a file lights it up and is queued.
# The screen is read from Xvfb's framebuffer file.
# Usage: xvfb_drag.sh <tonbrook program> <drag source program>
set -euo pipefail
app=$(realpath "$1")
source_program=$(realpath "$2")
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=320x240:r=25:d=2 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 -c:v mpeg4 -c:a aac \
  -shortest "$work/dragged.mp4"

mkdir "$work/fb"
xvfb_args=(-fbdir "$work/fb")
start_xvfb
(cd "$work" && HOME="$work" QT_QPA_PLATFORM=xcb exec "$app") >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_for_window)
sleep 1

# The window's pixels (960 x 640 at the origin: there is no window manager), minus a box
# around the pointer (Xvfb draws the cursor into them).
snapshot() {
  python3 - "$work/fb/Xvfb_screen0" "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
header = struct.unpack(">25I", data[:100])
size, width, height, bpl, ncolors = header[0], header[4], header[5], header[12], header[19]
pixels = bytearray(data[size + 12 * ncolors:size + 12 * ncolors + bpl * height])
px, py = 480, 400  # where the drags end: the middle of the drop zone
for y in range(max(0, py - 40), min(height, py + 40)):
    row = y * bpl
    pixels[row + 4 * (px - 40):row + 4 * (px + 40)] = bytes(4 * 80)
open(sys.argv[2], "wb").write(b"".join(pixels[y * bpl:y * bpl + 4 * 960] for y in range(640)))
PY
}

# Presses on the source window, moves onto the drop zone and holds there; "release" drops.
drag_onto_zone() {
  local log=$1
  wait_for_dialog "Drag Source" >/dev/null || fail "the drag source did not appear: $(cat "$log")"
  xdotool mousemove --sync 1100 700 mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove --sync $((1100 - step * 77)) $((700 - step * 37))
    sleep 0.1
  done
  xdotool mousemove --sync 480 400
  sleep 0.8
}

# The pointer rests outside the window, so the zone shows no hover, as during a drag (the
# drag source holds the pointer).
xdotool mousemove --sync 1200 100
sleep 1
snapshot "$work/before"

# Starts the drag source (link or file, with its URL) in place of the one before, drags from
# it onto the drop zone, snapshots the screen there into $work/over-<kind> and drops; its log
# says how the drag ended.
source_pid=""
drag_and_drop() {
  local kind=$1 url=$2
  [[ -z $source_pid ]] || kill "$source_pid" 2>/dev/null || true
  QT_QPA_PLATFORM=xcb "$source_program" "$kind" "$url" 1040 660 >"$work/$kind.log" 2>&1 &
  source_pid=$!
  service_pids+=("$source_pid")
  drag_onto_zone "$work/$kind.log"
  snapshot "$work/over-$kind"
  xdotool mouseup 1
  sleep 0.5
}

# A web link: refused, the drop zone does not change, nothing is queued.
drag_and_drop link "https://example.com/clip.mp4"
cmp -s "$work/before" "$work/over-link" || fail "a web link dragged over the drop zone changed it"
grep -q "drag ended: refused" "$work/link.log" || fail "the link drop was not refused"

# A file: the zone lights up, and the drop queues it.
drag_and_drop file "file://$work/dragged.mp4"
! cmp -s "$work/before" "$work/over-file" || fail "a dragged file did not light up the drop zone"
grep -q "drag ended: accepted" "$work/file.log" || fail "the file drop was not accepted"

extract_until 1 "$work"
[[ -s $work/dragged.mp3 ]] || fail "the dropped file was not converted"
[[ ! -e $work/clip.mp3 ]] || fail "the link was queued"
echo "$test_name: a link leaves the drop zone unchanged; a file lights it up and is converted"
