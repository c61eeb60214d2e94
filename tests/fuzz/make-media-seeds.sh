#!/usr/bin/env bash
# Makes the seed inputs of media_fuzzer (tiny movies and sound files from lavfi test sources).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/corpus/media_fuzzer"
f() { ffmpeg -nostdin -v error -y "$@"; }
f -f lavfi -i testsrc2=s=32x24:r=10:d=0.5 -c:v libx264 -preset ultrafast -bf 2 -g 3 -threads 1 -pix_fmt yuv420p -f mov h264-32x24
f -f lavfi -i testsrc2=s=32x24:r=10:d=0.3 -f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=8000:d=0.3' -map 0:v -map 1:a \
  -c:v libx264 -preset ultrafast -threads 1 -pix_fmt yuv420p -c:a aac -b:a 16k -metadata:s:v:0 title=Tiny -f mov movie-with-sound
f -f lavfi -i testsrc2=s=32x24:r=5:d=0.4 -c:v prores_ks -profile:v 0 -threads 1 -f mov prores-32x24
f -f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=8000:d=0.5' -c:a aac -b:a 16k -f ipod aac-sound
f -f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=8000:d=0.2' -c:a pcm_s16be -f aiff pcm-sound
f -f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)|0.2*sin(2*PI*300*t):s=8000:d=0.2' -c:a pcm_s16le -f wav stereo-wav
