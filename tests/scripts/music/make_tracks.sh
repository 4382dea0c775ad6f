#!/usr/bin/env bash
# Makes the CD tracks of the music tests with sox (only needed to make them
# again): track 1 as 8-bit WAVE, track 3 as Ogg Vorbis with its name in
# capitals, no track 2 (a data track); the listening test's one track.
set -euo pipefail
cd "$(dirname "$0")/.."
sox -n -r 8000 -c 1 -b 8 -e unsigned music/cd/track01.wav synth 1.6 sine 660 gain -6
sox -n -r 8000 -c 1 music/cd/TRACK03.ogg synth 4.3 sine 440 gain -6
sox -n -r 11025 -c 1 music_listen/cd/track01.ogg synth 2.5 sine 523 gain -3
