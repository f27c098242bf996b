#!/usr/bin/env bash
# Installs missing dependencies, configures, builds and runs the whole test suite.
# Usage: scripts/test.sh [--sanitize | --tsan]   (extra arguments go to ctest)
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
tsan=OFF
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
    --tsan)
      # ThreadSanitizer: the core with only the tests that run threads (see
      # tests/CMakeLists.txt); no application, benchmarks or command line.
      tsan=ON
      build_dir=build-tsan
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
    -DTONBROOK_SANITIZE="$sanitize" -DTONBROOK_SANITIZE_THREAD="$tsan" "${extra_options[@]}"
fi
cmake --build "$build_dir" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
if [[ $sanitize == ON ]]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  echo "test: sanitizer build: core, CLI and their tests; the QML view tests are not built"
fi
runner=()
if [[ $tsan == ON ]]; then
  # Qt and FFmpeg are not instrumented: their own loads and stores are invisible to the
  # sanitizer, and ignore_noninstrumented_modules makes the memcpy, free and the like they call
  # invisible too (their locking still counts), so what is checked is our code against our code.
  # A test with a report exits with status 66.
  export TSAN_OPTIONS="ignore_noninstrumented_modules=1:second_deadlock_stack=1:history_size=4"
  echo "test: thread sanitizer build: encoder, engine, queue and reliability tests only"
  # GCC 12's TSan runtime assumes the kernel's default mmap randomisation; with more bits it
  # stops with "unexpected memory mapping". No randomisation for the tests (children inherit it).
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    runner=(setarch "$(uname -m)" -R)
  fi
fi
"${runner[@]}" ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" "${ctest_args[@]}"
