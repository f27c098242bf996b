# Sourced by the tests that run the app under a real X server (Xvfb).
# Gives a scratch folder $work, start_xvfb (exports DISPLAY), fail, and clean-up on exit of
# Xvfb, of the app whose process id is in $app_pid and of the services in $service_pids
# (start_private_bus, start_portal).
work=$(mktemp -d)
xvfb_pid=""
# Extra Xvfb arguments a test may set before start_xvfb.
xvfb_args=()
app_pid=""
service_pids=()
test_name=$(basename "$0" .sh)
# Tonbrook runs once per session bus, so the app under test never joins the desktop's bus,
# where a running Tonbrook (or another test's) would take its files; a test that needs a bus
# starts its own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
cleanup() {
  [[ -n $app_pid ]] && kill -9 "$app_pid" 2>/dev/null || true
  for pid in "${service_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$test_name: $*" >&2
  [[ -f $work/app.log ]] && sed 's/^/  app: /' "$work/app.log" >&2
  exit 1
}
# A command that fails under set -e says which, rather than ending the test silently.
set -E
trap 'fail "line $LINENO: \"$BASH_COMMAND\" failed with status $?"' ERR

# Xvfb picks a free display and writes its number to the descriptor.
start_xvfb() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp "${xvfb_args[@]}" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
  done
  exec 3>&-
  [[ -s $work/display ]] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
  # Under load the server may not take clients yet: wait until one gets through.
  for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "Xvfb on $DISPLAY takes no clients: $(cat "$work/xvfb.log")"
}

# Prints the id of the app's main window once it shows.
# xdotool gives up on a BadWindow error when some other window goes away during its search,
# so it is asked again until the window shows.
wait_for_window() {
  local window=""
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Tonbrook$' 2>/dev/null | head -n1 || true)
    [[ -n $window ]] && break
    sleep 0.1
  done
  [[ -n $window ]] || fail "the window did not appear"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  echo "$window"
}

# A private session bus that activates nothing (no service folders), so the test alone decides
# which services run; exports DBUS_SESSION_BUS_ADDRESS. Fails with a reason on stderr.
start_private_bus() {
  mkdir -p "$work/bus"
  cat >"$work/bus/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  local out
  out=$(dbus-daemon --config-file="$work/bus/session.conf" --fork --print-address=1 \
    --print-pid=1 2>"$work/bus/daemon.log") || {
    echo "dbus-daemon did not start: $(cat "$work/bus/daemon.log")" >&2
    return 1
  }
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$out")
  service_pids+=("$(sed -n 2p <<<"$out")")
}

# Waits up to 10 s for a name to be owned on the session bus.
wait_for_bus_name() {
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true' &&
      return 0
    sleep 0.1
  done
  return 1
}

# The XDG desktop portal with its GTK back end on the private bus and the X server, as on a
# GNOME desktop (XDG_CURRENT_DESKTOP picks gtk.portal). Sets $portal_gtk_pid, the process that
# shows the file chooser. Fails with a reason on stderr.
start_portal() {
  local portal=/usr/libexec/xdg-desktop-portal backend=/usr/libexec/xdg-desktop-portal-gtk
  [[ -x $portal && -x $backend ]] || {
    echo "$portal or $backend is not installed" >&2
    return 1
  }
  export XDG_CURRENT_DESKTOP=GNOME XDG_RUNTIME_DIR="$work/runtime"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  "$backend" >"$work/portal-gtk.log" 2>&1 &
  portal_gtk_pid=$!
  service_pids+=("$portal_gtk_pid")
  wait_for_bus_name org.freedesktop.impl.portal.desktop.gtk || {
    echo "xdg-desktop-portal-gtk did not start: $(cat "$work/portal-gtk.log")" >&2
    return 1
  }
  "$portal" >"$work/portal.log" 2>&1 &
  service_pids+=("$!")
  wait_for_bus_name org.freedesktop.portal.Desktop || {
    echo "xdg-desktop-portal did not start: $(cat "$work/portal.log")" >&2
    return 1
  }
}

# Prints the id of the visible window with this exact title once it shows.
wait_for_dialog() {
  local dialog=""
  for _ in $(seq 150); do
    dialog=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [[ -n $dialog ]] && break
    sleep 0.1
  done
  [[ -n $dialog ]] || return 1
  echo "$dialog"
}

# Presses Ctrl+E in the app's window ($window) until `count` MP3s are under `folder`; the
# shortcut does nothing until the files are inspected, nor while a batch runs. MP3s appear
# under their names only once complete.
extract_until() {
  local count=$1 folder=$2
  for _ in $(seq 240); do
    (($(find "$folder" -name '*.mp3' | wc -l) >= count)) && return 0
    kill -0 "$app_pid" 2>/dev/null || fail "the app exited early"
    xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+e 2>/dev/null || true
    sleep 0.5
  done
  fail "fewer than $count MP3s appeared under $folder"
}

# Whether ffprobe reads a duration between low and high seconds from the file.
lasts() {
  local duration
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null) ||
    return 1
  [[ -n $duration ]] && awk -v d="$duration" -v l="$2" -v h="$3" 'BEGIN { exit !(d > l && d < h) }'
}
