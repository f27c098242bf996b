#!/usr/bin/env bash
# Checks the Debian package as a user gets it: lintian (errors fail), then installs it with
# its dependencies, runs the installed programs on the sample clip, renders both manual pages
# and removes the package again. Needs root or sudo.
# Usage: scripts/check_package.sh [package.deb]   (default: the one scripts/package.sh built)
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-$(ls build/tonbrook_*.deb)}
deb=$(realpath "$deb")
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi

fail() {
  echo "check_package: $*" >&2
  exit 1
}

echo "check_package: lintian $deb"
lintian --fail-on error --display-info "$deb"

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get install -y -q "$deb"
work=$(mktemp -d)
trap '"${sudo_cmd[@]}" dpkg -r tonbrook >/dev/null; rm -rf "$work"' EXIT

# Only the two programs, stripped; the D-Bus service starts the installed one.
programs=$(dpkg -L tonbrook | grep '^/usr/bin/' | sort | paste -sd ' ')
[[ $programs == "/usr/bin/tonbrook /usr/bin/tonbrook-cli" ]] ||
  fail "the package installs these programs: $programs"
for program in /usr/bin/tonbrook /usr/bin/tonbrook-cli; do
  file -L "$program" | grep -q ', stripped' || fail "$program is not stripped"
done
grep -qx 'Exec=/usr/bin/tonbrook --dbus-service' \
  /usr/share/dbus-1/services/io.github.tonbrook.Tonbrook.service ||
  fail "the D-Bus service file does not start /usr/bin/tonbrook"
for file in /usr/share/bash-completion/completions/tonbrook-cli \
  /usr/share/zsh/vendor-completions/_tonbrook-cli /usr/share/doc/tonbrook/copyright \
  /usr/share/applications/io.github.tonbrook.Tonbrook.desktop \
  /usr/share/metainfo/io.github.tonbrook.Tonbrook.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/tonbrook.svg; do
  [[ -s $file ]] || fail "$file is missing"
done

version=$(/usr/bin/tonbrook-cli --version)
echo "check_package: $version"
[[ $version == "tonbrook-cli "* ]] || fail "unexpected version line: $version"

/usr/bin/tonbrook-cli --inspect samples/sample.mp4 >"$work/inspect.json"
python3 -c 'import json, sys
files = json.load(open(sys.argv[1]))
assert len(files) == 1 and files[0]["duration"] > 0 and files[0]["audioTracks"], files' \
  "$work/inspect.json" || fail "--inspect did not describe samples/sample.mp4"

/usr/bin/tonbrook-cli -q -o "$work/out" samples/sample.mp4
[[ -s $work/out/sample.mp3 ]] || fail "no MP3 in $work/out"
codec=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 \
  "$work/out/sample.mp3")
[[ $codec == mp3 ]] || fail "ffprobe reads the output as '$codec', not mp3"

# The installed window loads its views: still running after 5 s, offscreen and without a session
# bus (so it is its own instance), with no QML errors.
app_status=0
env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
  timeout 5 /usr/bin/tonbrook samples/sample.mp4 >"$work/app.log" 2>&1 || app_status=$?
if [[ $app_status -ne 124 ]] || grep -q 'qrc:\|is not installed' "$work/app.log"; then
  cat "$work/app.log" >&2
  fail "the installed tonbrook did not start (status $app_status)"
fi

for page in /usr/share/man/man1/tonbrook-cli.1.gz /usr/share/man/man1/tonbrook.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man warns on $page: $warnings"
  rendered=$(MANWIDTH=80 man -l -Tutf8 "$page" 2>&1 | sed 's/.\x08//g')
  grep -q '^SYNOPSIS' <<<"$rendered" || fail "$page renders without a synopsis"
done
echo "check_package: installed, ran and removed $(basename "$deb")"
