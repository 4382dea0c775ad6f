#!/usr/bin/env bash
# Runs a game folder headless, writes the view page at the end and compares it
# byte for byte with a golden picture.
# usage: screenshot_test.sh ENGINE GAME_DIR GOLDEN.bmp OUT.bmp
set -u
engine=$1 game=$2 golden=$3 out=$4
rm -f "$out"
"$engine" --headless --timeout 30 --screenshot "$out" "$game" || { echo "engine failed ($?)"; exit 1; }
if ! cmp -s "$out" "$golden"; then
  echo "the screenshot $out differs from $golden"
  exit 1
fi
echo "ok: $out matches $golden"
