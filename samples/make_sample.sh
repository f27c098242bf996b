#!/usr/bin/env bash
# Makes samples/sample.mp4: 10 s of moving gradients with a synthetic voice (a glottal pulse
# train shaped by moving vowel formants, in syllables and words) and tags. Needs only ffmpeg.
# The result is committed; run this again only to change it.
set -euo pipefail
cd "$(dirname "$0")"

out=sample.mp4
graph=$(mktemp)
trap 'rm -f "$graph"' EXIT

# Voice: pitch 118 Hz with a slow wobble (its phase written out so harmonics stay in step),
# one vowel per syllable at 3.7 syllables a second, pauses between words.
f0='st(0,118+14*sin(4.398*t))'
phase='st(1,2*PI*(118*t-3.183*cos(4.398*t)))'
f1='st(2,550+230*sin(floor(t*3.7)*2.3))'
f2='st(3,1500+650*sin(floor(t*3.7)*1.7+1))'
harmonics=''
for k in $(seq 1 32); do
  harmonics+="+(exp(-pow(($k*ld(0)-ld(2))/130,2))+0.6*exp(-pow(($k*ld(0)-ld(3))/170,2))"
  harmonics+="+0.25*exp(-pow(($k*ld(0)-2600)/250,2))+0.02/$k)*sin($k*ld(1))"
done
envelope='pow(sin(PI*(t*3.7-floor(t*3.7))),2)*gt(sin(2*PI*0.45*t+0.3),-0.55)'
cat >"$graph" <<GRAPH
aevalsrc=exprs='$f0;$phase;$f1;$f2;0.22*$envelope*(0$harmonics)':s=22050:d=10,
lowpass=f=4500,afade=t=in:d=0.3,afade=t=out:st=9.5:d=0.5[a];
gradients=s=320x180:r=15:d=10:speed=0.02,format=yuv420p[v]
GRAPH

ffmpeg -y -hide_banner -loglevel error -filter_complex_script "$graph" -map '[v]' -map '[a]' \
  -c:v libx264 -preset slow -crf 30 -g 150 -c:a aac -b:a 64k -ac 1 -ar 22050 \
  -metadata title="Harbour Morning" -metadata artist="Tonbrook" \
  -metadata album="Tonbrook Samples" -metadata date=2024 \
  -metadata comment="Synthetic voice, made by samples/make_sample.sh" \
  -movflags +faststart "$out"
echo "wrote samples/$out ($(stat -c %s "$out") bytes)"
