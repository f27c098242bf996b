#!/usr/bin/env bash
# Builds the libFuzzer target with clang into build-fuzz/ and runs it.
# Usage: scripts/fuzz.sh [seconds]   (default 300; crashes land in build-fuzz/artifacts/)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}

scripts/deps.sh
build_dir=build-fuzz
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTONBROOK_SANITIZE=ON \
    -DTONBROOK_FUZZ=ON -DTONBROOK_BUILD_TESTS=OFF -DTONBROOK_BUILD_BENCH=OFF -DTONBROOK_BUILD_APP=OFF
fi
cmake --build "$build_dir" --parallel "$(nproc)" --target tonbrook_fuzz_media

# Seeds: small real media made with the ffmpeg command line, one per container.
seeds="$build_dir/seeds"
if [[ ! -d "$seeds" ]]; then
  mkdir -p "$seeds"
  video=(-f lavfi -i testsrc2=size=64x48:rate=10:duration=0.5)
  audio=(-f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.5)
  make() { ffmpeg -nostdin -y -hide_banner -loglevel error "$@"; }
  make "${video[@]}" "${audio[@]}" -c:v mpeg4 -c:a aac -shortest "$seeds/clip.mp4"
  make "${video[@]}" "${audio[@]}" -c:v mpeg4 -c:a libvorbis -shortest "$seeds/clip.mkv"
  make "${video[@]}" "${audio[@]}" -c:v mpeg4 -c:a libmp3lame -shortest "$seeds/clip.avi"
  make "${audio[@]}" -c:a pcm_s16le "$seeds/pcm.mov"
  make "${audio[@]}" -c:a flac "$seeds/flac.mkv"
  # An MP3 with an ID3v2 tag and a user text frame, as the mark check reads one.
  make "${audio[@]}" -c:a libmp3lame -metadata title=Seed -metadata TONBROOK_SOURCE=seed.mp4 \
    "$seeds/tagged.mp3"
  make "${video[@]}" "${audio[@]}" -c:v mpeg2video -c:a mp2 -shortest "$seeds/clip.ts"
  make "${video[@]}" "${audio[@]}" -c:v libvpx -c:a libopus -shortest "$seeds/clip.webm" ||
    true
  # Pictures narrower or flatter than a scaler's vector block, where it writes past a line.
  for size in 1x1 2x2 7x5 8x8 15x3 1x40 40x1; do
    tiny=(-f lavfi -i "color=c=red:s=$size:r=10:d=0.3,format=rgb24" -f lavfi -i sine=d=0.3)
    make "${tiny[@]}" -pix_fmt yuv420p -c:v libvpx -c:a libvorbis -shortest "$seeds/tiny-$size.webm"
    make "${tiny[@]}" -pix_fmt yuv444p -c:v libx264 -c:a aac -shortest "$seeds/tiny-$size.mp4"
    make "${tiny[@]}" -pix_fmt yuv420p -c:v mpeg4 -c:a libmp3lame -shortest "$seeds/tiny-$size.avi"
  done
  # And the small files the test suite generated, when it has run.
  find build/test-media -maxdepth 1 -type f -size -64k -exec cp -t "$seeds" {} + 2>/dev/null || true
fi

corpus="$build_dir/corpus"
artifacts="$build_dir/artifacts"
mkdir -p "$corpus" "$artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build_dir/fuzz/tonbrook_fuzz_media" "$corpus" "$seeds" -max_total_time="$seconds" \
  -max_len=65536 -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" -print_final_stats=1
