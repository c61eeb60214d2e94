#!/usr/bin/env bash
# Makes the program's sound resources under resources/sounds/ with the ffmpeg tool:
# "MouseClick.mp3", a short click (a damped 2.4 kHz ping over a quick noise burst, 60 ms).
# The result is kept in the tree; run this again only to change the sound.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/resources/sounds"
mkdir -p "$out"
ffmpeg -nostdin -loglevel error -y -f lavfi \
  -i "aevalsrc=0.55*exp(-t*90)*sin(2*PI*2400*t)+0.25*exp(-t*400)*(2*random(0)-1):s=44100:d=0.06" \
  -ac 1 -c:a libmp3lame -b:a 128k "$out/MouseClick.mp3"
