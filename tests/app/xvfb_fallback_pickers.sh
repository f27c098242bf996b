#!/usr/bin/env bash
# Where the desktop offers no file dialog (Qt's generic theme, no bus to reach), the pickers are
# QFileDialog widgets: Add Videos takes three files in one pick, and the output folder picker
# makes a new folder, enters it and chooses the folder it shows, which then receives the MP3s.
# Usage: xvfb_fallback_pickers.sh <tonbrook program>
set -euo pipefail
app=$(realpath "$1")
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

mkdir -p "$work/clips" "$work/out" "$work/runtime"
chmod 700 "$work/runtime"
for name in one two three; do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=160x120:r=25:d=1 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 -c:v mpeg4 -c:a aac \
    -shortest "$work/clips/$name.mp4"
done

start_xvfb
# The folder picker opens in the working directory, the empty $work/out.
(cd "$work/out" && HOME="$work" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  QT_QPA_PLATFORMTHEME=generic exec "$app") \
  >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_for_window)

# Preferences: Tab to "Custom Output Directory", select it, then Tab to "Choose...".
xdotool key --clearmodifiers ctrl+comma
sleep 0.5
xdotool key Tab Tab Tab Tab Tab Tab Tab Tab space Tab space
dialog=$(wait_for_dialog "Choose Output Folder") ||
  fail "the output folder picker did not open (has the preferences' tab order changed?)"
# "New Folder" from the file list's context menu, named in place, then entered; "Choose" with
# nothing typed takes the folder shown.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
sleep 0.5
xdotool key n
sleep 0.5
xdotool type --delay 20 Converted
xdotool key Return
sleep 0.5
[[ -d $work/out/Converted ]] || fail "the folder picker made no new folder"
xdotool key Return
sleep 0.5
xdotool key alt+c
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^Choose Output Folder$' >/dev/null || break
  sleep 0.1
done
# Focus goes back to the window by hand: there is no window manager.
xdotool windowfocus --sync "$window" key Return # "Done"
sleep 0.5

xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+o
dialog=$(wait_for_dialog "Add Videos") || fail "the Add Videos picker did not open"
xdotool type --delay 20 "$work/clips/"
xdotool key Return
sleep 0.5
xdotool type --delay 20 '"one.mp4" "two.mp4" "three.mp4"'
xdotool key Return
sleep 0.5
xdotool windowfocus --sync "$window"

extract_until 3 "$work/out/Converted"
for name in one two three; do
  mp3="$work/out/Converted/$name.mp3"
  lasts "$mp3" 0.8 1.3 || fail "$name.mp3 was not written into the chosen folder"
  mp3val "$mp3" | grep -q '^WARNING' && fail "mp3val finds fault with $name.mp3"
done
[[ -z $(find "$work/clips" -name '*.mp3') ]] || fail "MP3s were written beside the sources"
echo "xvfb_fallback_pickers: 3 files in one pick, new folder chosen, 3 MP3s in it"
