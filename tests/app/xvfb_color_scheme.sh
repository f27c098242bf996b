#!/usr/bin/env bash
# The window follows the desktop's light/dark preference live. A private session bus runs the
# real XDG desktop portal with its GTK back end, which reads GNOME's color-scheme setting from
# a scratch keyfile; the test flips that setting with gsettings and reads the window's pixels
# back from the X server.
# Usage: xvfb_color_scheme.sh <tonbrook program>
set -euo pipefail
app=$(realpath "$1")
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"

bus_pid=""
trap '[[ -n $bus_pid ]] && kill "$bus_pid" 2>/dev/null; cleanup' EXIT

export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# The GTK back end answers for GNOME; gsettings and the portal share the keyfile.
export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile NO_AT_BRIDGE=1 GTK_A11Y=none

start_xvfb
dbus-daemon --session --fork --print-address=5 --print-pid=6 5>"$work/bus.address" \
  6>"$work/bus.pid"
bus_pid=$(head -n1 "$work/bus.pid")
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
export DBUS_SESSION_BUS_ADDRESS

scheme() { gsettings set org.gnome.desktop.interface color-scheme "$1"; }

# Waits until the window's mean brightness is on the wanted side ("dark" or "light").
expect() {
  local wanted=$1 what=$2 brightness=""
  for _ in $(seq 100); do
    brightness=$(python3 "$here/window_brightness.py" "$window")
    if [[ $wanted == dark ]] && awk "BEGIN { exit !($brightness > 0.05 && $brightness < 0.3) }"; then
      echo "$test_name: $what: dark (mean brightness $brightness)"
      return
    fi
    if [[ $wanted == light ]] && awk "BEGIN { exit !($brightness > 0.7) }"; then
      echo "$test_name: $what: light (mean brightness $brightness)"
      return
    fi
    sleep 0.1
  done
  fail "$what: the window is not $wanted (mean brightness $brightness)"
}

# Read at start-up: the desktop already prefers dark.
scheme prefer-dark
(cd "$work" && QT_QPA_PLATFORM=xcb exec "$app") >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_for_window)
expect dark "preferring dark at start"

# Then live, through the portal's SettingChanged signal, both ways.
scheme prefer-light
expect light "preferring light"
scheme prefer-dark
expect dark "preferring dark again"
