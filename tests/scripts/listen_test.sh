#!/usr/bin/env bash
# Runs a game headless with --audio-out and checks the recording.
# usage: listen_test.sh ENGINE GAME_DIR ANALYSER OUT.wav [ENGINE_OPTION...]
set -u
engine=$1 game=$2 analyser=$3 out=$4
shift 4
rm -f "$out"
if ! "$engine" --headless --timeout 30 "$@" --audio-out "$out" "$game"; then
  echo "the engine failed"
  exit 1
fi
python3 "$analyser" "$out"
