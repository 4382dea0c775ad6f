#!/usr/bin/env bash
# Makes the sample game's clip (run once; the clip is committed): two
# seconds of turning colour gradients from FFmpeg's own generators, with a
# rising tone, as MPEG-1 with MP2 sound at 320×240 and 25 frames per second.
set -eu
cd "$(dirname "$0")"
ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i "gradients=s=320x240:r=25:d=2:speed=0.08:c0=0x203080:c1=0xffd040:c2=0x40c0a0:nb_colors=3" \
  -f lavfi -i "aevalsrc=0.2*sin(2*PI*(330+110*t)*t):s=44100:d=2" \
  -c:v mpeg1video -q:v 6 -g 12 -c:a mp2 -b:a 96k -ac 2 -shortest \
  -bitexact -map_metadata -1 intro.mpg
