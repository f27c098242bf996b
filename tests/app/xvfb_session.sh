# Sourced by the tests that run the app under a real X server (Xvfb).
# Gives a scratch folder $work, start_xvfb (exports DISPLAY), fail, and clean-up on exit of
# Xvfb and of the app whose process id is in $app_pid.
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
test_name=$(basename "$0" .sh)
# Tonbrook runs once per session bus, so the app under test never joins the desktop's bus,
# where a running Tonbrook (or another test's) would take its files; a test that needs a bus
# starts its own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
cleanup() {
  [[ -n $app_pid ]] && kill -9 "$app_pid" 2>/dev/null || true
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

# Xvfb picks a free display and writes its number to the descriptor.
start_xvfb() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
  done
  exec 3>&-
  [[ -s $work/display ]] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
}

# Prints the id of the app's main window once it shows.
wait_for_window() {
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Tonbrook$' | head -n1) ||
    fail "the window did not appear"
  xdotool windowfocus --sync "$window" || true
  echo "$window"
}
