#!/usr/bin/env bash
# Makes the sound test data with sox (Debian's sox and libsox-fmt-all; only
# needed to make them again): Microsoft ADPCM files with the PCM sox decodes
# them to, and a Vorbis file with a "COMMENT=" user comment.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 22050 -c 1 -b 16 "$tmp/mono.wav" synth 0.5 sine 440 gain -6
sox "$tmp/mono.wav" -e ms-adpcm adpcm_mono.wav
sox adpcm_mono.wav -e signed -b 16 -t raw adpcm_mono.raw
sox -n -r 11025 -c 2 -b 16 "$tmp/stereo.wav" synth 0.25 sine 300 sine 700 gain -3
sox "$tmp/stereo.wav" -e ms-adpcm adpcm_stereo.wav
sox adpcm_stereo.wav -e signed -b 16 -t raw adpcm_stereo.raw
sox -n --comment "COMMENT=a stereo test tone" -r 22050 -c 2 comment.ogg synth 1 sine 330 sine 550 gain -6
long=$(printf 'x%.0s' $(seq 1 300))
sox -n --comment "COMMENT=$long" -r 8000 -c 1 comment_long.ogg synth 0.1 sine 440
sox -n -r 22050 -c 1 -b 16 short.wav synth 0.1 sine 880 gain -6
# One second of Vorbis in many small pages (ffmpeg), for streams cut short.
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=1" -c:a libvorbis \
  -q:a 0 -page_duration 100000 -map_metadata -1 -fflags +bitexact -flags:a +bitexact pages.ogg
