#!/usr/bin/env bash
# Runs lupdate over the sources into a copy of every committed .ts file and fails when the
# result differs from the committed file (a text added, changed or removed in the sources but
# not in the .ts) or when any message is still unfinished.
# Usage: translations_current.sh <lupdate> <source list file> <ts files...>
set -euo pipefail
lupdate=$1
sources=$2
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for ts in "$@"; do
  copy="$scratch/$(basename "$ts")"
  cp "$ts" "$copy"
  "$lupdate" -locations none -no-obsolete -silent "@$sources" -ts "$copy"
  if ! diff -u "$ts" "$copy"; then
    echo "FAIL: $ts is out of date with the sources; run: cmake --build build --target update_translations"
    status=1
  fi
  if unfinished=$(grep -c 'type="unfinished"' "$copy"); then
    echo "FAIL: $ts has $unfinished unfinished messages"
    grep -B3 'type="unfinished"' "$copy" | grep '<source>' || true
    status=1
  fi
done
exit $status
