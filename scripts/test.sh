#!/usr/bin/env bash
# Installs missing dependencies, configures, builds and runs the whole test suite.
# Usage: scripts/test.sh [--sanitize]   (extra arguments go to ctest)
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
build_dir=build
# Under sanitizers only the core, the CLI and their tests: the QML views add build time and
# test no core code.
extra_options=()
ctest_args=()
for arg in "$@"; do
  case "$arg" in
    --sanitize)
      sanitize=ON
      build_dir=build-sanitize
      extra_options=(-DTONBROOK_BUILD_APP=OFF -DTONBROOK_BUILD_BENCH=OFF)
      ;;
    *) ctest_args+=("$arg") ;;
  esac
done

scripts/deps.sh

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONBROOK_SANITIZE="$sanitize" "${extra_options[@]}"
fi
cmake --build "$build_dir" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
if [[ $sanitize == ON ]]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  echo "test: sanitizer build: core, CLI and their tests; the QML view tests are not built"
fi
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" "${ctest_args[@]}"
