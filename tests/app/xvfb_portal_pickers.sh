#!/usr/bin/env bash
# On a desktop whose session bus runs the XDG desktop portal (here xdg-desktop-portal with its
# GTK back end on a private bus), the app picks the portal by itself: Add Videos shows the GTK
# file chooser of the portal's process, and three files selected there arrive in one pick.
# Skips (77) only when the bus or the portal cannot start here.
# Usage: xvfb_portal_pickers.sh <tonbrook program>
set -euo pipefail
app=$(realpath "$1")
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

# The clips are all that the home folder holds; every process here, the portal's too, has it.
export HOME="$work/home"
mkdir -p "$HOME"
for name in one two three; do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=160x120:r=25:d=1 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 -c:v mpeg4 -c:a aac \
    -shortest "$HOME/$name.mp4"
done

start_xvfb
start_private_bus 2>"$work/skip.log" && start_portal 2>"$work/skip.log" || {
  echo "$test_name: skipped, the portal cannot run here: $(cat "$work/skip.log")"
  exit 77
}
(cd "$work" && exec env -u QT_QPA_PLATFORMTHEME QT_QPA_PLATFORM=xcb "$app") \
  >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_for_window)

xdotool key --clearmodifiers ctrl+o
dialog=$(wait_for_dialog "Add Videos") || fail "no Add Videos chooser appeared"
[[ $(xdotool getwindowpid "$dialog") == "$portal_gtk_pid" ]] ||
  fail "the Add Videos chooser is not the portal's"
# Alt+Home shows the home folder; Ctrl+A selects its files; Return opens them.
xdotool windowfocus --sync "$dialog" key alt+Home
sleep 1.5
xdotool key ctrl+a
sleep 0.3
xdotool key Return
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^Add Videos$' >/dev/null || break
  sleep 0.1
done
xdotool windowfocus --sync "$window"

extract_until 3 "$HOME"
for name in one two three; do
  lasts "$HOME/$name.mp3" 0.8 1.3 ||
    fail "$name.mp3 was not written: the pick did not bring all three files"
done
echo "xvfb_portal_pickers: the portal's GTK chooser picked 3 files at once, 3 MP3s written"
