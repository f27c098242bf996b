#!/usr/bin/env bash
# Installs every Debian 12 package Tonbrook needs to build, test and run.
# Idempotent: only missing packages are installed, after one apt-get update.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format
  # the fuzzer: clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # Qt 6.4
  qt6-base-dev qt6-base-dev-tools
  # translations: lupdate and lrelease with their CMake functions, Qt's own texts for its dialogs
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
  # media reading (FFmpeg 5.1) and MP3 encoding (LAME 3.100)
  libavformat-dev libavcodec-dev libswresample-dev libswscale-dev libavutil-dev
  libmp3lame-dev
  # loudness measurement (EBU R128 / ITU-R BS.1770)
  libebur128-dev
  # test media and independent checkers
  ffmpeg mediainfo mp3val python3 python3-mutagen
  # the C library's locale sources and its own translations, so that a test can run the
  # programs in a German locale as a German desktop has it
  locales libc-l10n
  # benchmarks: the LAME command line as the encoder-alone reference
  lame
  # batch notices: the desktop's event sounds and theme; a private session bus for tests
  libcanberra-dev sound-theme-freedesktop dbus-daemon
  # desktop views: Qt Quick with Controls, Layouts and Dialogs, Multimedia (FFmpeg back end),
  # SVG icons; Qt Quick Test, and PulseAudio for a null sink the preview player plays into
  qt6-declarative-dev qt6-declarative-dev-tools qt6-multimedia-dev qt6-svg-dev libqt6svg6
  qml6-module-qtquick qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-dialogs qml6-module-qt-labs-folderlistmodel
  qml6-module-qttest pulseaudio pulseaudio-utils
  # desktop integration checks and the app under a real X server
  desktop-file-utils appstream xvfb xdotool
  # the desktop's own file and folder choosers: the XDG portal's and GTK's platform themes,
  # Qt.labs.platform dialogs with their QFileDialog fallback (Qt Widgets); the portal with its
  # GTK back end and dbus-send for the tests that drive the choosers
  qt6-xdgdesktopportal-platformtheme qt6-gtk-platformtheme qml6-module-qt-labs-platform
  libqt6widgets6 xdg-desktop-portal xdg-desktop-portal-gtk dbus-bin
  # a one-node Slurm cluster (controller, node daemon, clients) with its munge authentication,
  # started by the test that runs tonbrook-cli --shard auto as a real job array
  slurm-wlm munge
  # the Debian package: manual pages (help2man, scdoc), CPack's DEB generator with
  # dpkg-shlibdeps, lintian, and bash-completion and zsh for the completion tests
  help2man scdoc dpkg-dev file lintian man-db bash-completion zsh
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "deps: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
