#!/usr/bin/env bash
# Builds the Debian package build/tonbrook_<version>_<arch>.deb: the programs, their desktop
# files, manual pages and shell completion under /usr, binaries stripped, shared-library
# dependencies from dpkg-shlibdeps (see cmake/Packaging.cmake).
# Usage: scripts/package.sh
# Reuses build/ as scripts/test.sh configures it, with the install prefix set to /usr (the
# D-Bus service file names the program by its installed path).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build

scripts/deps.sh

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONBROOK_SANITIZE=OFF -DTONBROOK_SANITIZE_THREAD=OFF -DCMAKE_INSTALL_PREFIX=/usr
elif ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build_dir/CMakeCache.txt"; then
  cmake "$build_dir" -DCMAKE_INSTALL_PREFIX=/usr
fi
# Only what the package holds; the tests and benchmarks are not installed.
cmake --build "$build_dir" --parallel "$(nproc)" --target tonbrook tonbrook-cli \
  tonbrook_man_pages tonbrook_changelog

rm -f "$build_dir"/tonbrook_*.deb
cpack --config "$build_dir/CPackConfig.cmake" -B "$build_dir" -G DEB
deb=$(ls "$build_dir"/tonbrook_*.deb)
echo "package: $deb ($(du -h "$deb" | cut -f1))"
