#!/usr/bin/env bash
# Renders the desktop views offscreen, over real jobs made from generated media, to PNG files
# in build/screenshots/ (light and -dark), at 200 % in build/screenshots/2x/, and in German in
# build/screenshots/de/.
# Usage: scripts/screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
if [[ ! -f build/CMakeCache.txt ]]; then
  cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build --parallel "$(nproc)" --target tonbrook_screenshots

# Beside a null sound output, so the player shows as on a machine with speakers.
QT_QPA_PLATFORM=offscreen tests/app/with_null_sink.sh build/app/tonbrook_screenshots build/screenshots
# The same pictures at 200 %, as on a high-density screen.
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 tests/app/with_null_sink.sh \
  build/app/tonbrook_screenshots build/screenshots/2x
# In German, whose texts run longer than the English ones.
QT_QPA_PLATFORM=offscreen LANG=de_DE.UTF-8 LANGUAGE=de LC_ALL= LC_MESSAGES= \
  tests/app/with_null_sink.sh build/app/tonbrook_screenshots build/screenshots/de
