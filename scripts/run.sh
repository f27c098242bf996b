#!/usr/bin/env bash
# The main job: installs what is missing, builds what is needed, then converts.
# Usage: scripts/run.sh [files or folders...]   (tonbrook-cli options may be mixed in)
# With a desktop session (DISPLAY or WAYLAND_DISPLAY) and the desktop app built, the app opens
# with the files queued. Otherwise tonbrook-cli converts them, or the bundled sample clip when
# none are given, and says where each MP3 went.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="$root/build"

"$root/scripts/deps.sh"

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  echo "run: configuring $build_dir"
  cmake -S "$root" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi

desktop=0
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  desktop=1
fi

echo "run: building tonbrook-cli"
cmake --build "$build_dir" --parallel "$(nproc)" --target tonbrook-cli
if ((desktop)) && [[ -f "$root/app/CMakeLists.txt" ]]; then
  echo "run: building the desktop app"
  cmake --build "$build_dir" --parallel "$(nproc)" --target tonbrook ||
    echo "run: the desktop app did not build; using the command line instead" >&2
fi

app="$build_dir/app/tonbrook"
cli="$build_dir/cli/tonbrook-cli"
if ((desktop)) && [[ -x "$app" ]]; then
  exec "$app" "$@"
fi

if (($# > 0)); then
  # Run from the caller's folder, so relative paths mean what the caller meant.
  exec "$cli" "$@"
fi

sample="$root/samples/sample.mp4"
output="$build_dir/sample-output"
echo "run: no files given; converting the sample clip $sample"
status=0
"$cli" --output-dir "$output" "$sample" || status=$?
if ((status == 0)); then
  echo "run: the MP3 is $output/sample.mp3"
fi
exit "$status"
