#!/usr/bin/env bash
# Runs a command against a private X server (Xvfb) with Qt's X11 platform, for view tests
# that should meet real X input, focus and accessibility rather than the offscreen platform.
# Usage: with_xvfb.sh <command> [arguments...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xvfb_session.sh"
start_xvfb
status=0
HOME="$work" QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
