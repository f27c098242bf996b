#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the program and its desktop files.
# Usage: check_install.sh <build folder>
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
for file in bin/tonbrook share/applications/io.github.tonbrook.Tonbrook.desktop \
  share/dbus-1/services/io.github.tonbrook.Tonbrook.service \
  share/icons/hicolor/scalable/apps/tonbrook.svg \
  share/metainfo/io.github.tonbrook.Tonbrook.metainfo.xml; do
  if [[ ! -s $prefix/$file ]]; then
    echo "check_install: $file is missing" >&2
    status=1
  fi
done
[[ -x $prefix/bin/tonbrook ]] || { echo "check_install: bin/tonbrook is not executable" >&2; status=1; }
desktop-file-validate "$prefix/share/applications/io.github.tonbrook.Tonbrook.desktop" || status=1
# The bus starts the installed program under the name the desktop entry is named after.
service=$prefix/share/dbus-1/services/io.github.tonbrook.Tonbrook.service
if ! grep -qx 'Name=io.github.tonbrook.Tonbrook' "$service" ||
  ! grep -qx 'Exec=/.*/bin/tonbrook --dbus-service' "$service"; then
  echo "check_install: the D-Bus service file does not start bin/tonbrook" >&2
  status=1
fi
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.tonbrook.Tonbrook.metainfo.xml" || status=1
exit "$status"
