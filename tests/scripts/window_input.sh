#!/usr/bin/env bash
# Types and clicks into a real window under a virtual X server with xdotool;
# the script in the game folder checks what arrives and shows how far it got
# by the picture's colour. Skipped (exit 77) without Xvfb or xdotool.
# usage: window_input.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwd xwininfo xdotool python3
mkdir -p "$out"
rm -f "$out/result.txt"
xvfb-run -a -s "$xvfb_screen" bash -c '
  engine=$0 game=$1 out=$2 here=$3
  "$engine" "$game" --timeout 40 > "$out/engine.log" 2>&1 &
  pid=$!
  . "$here/window_id.sh"
  id=$(window_id "Input Window")
  # Waits (up to 10 s) until the middle of the window has colour $1.
  colour() {
    for i in $(seq 1 50); do
      xwd -id "$id" -silent > "$out/window.xwd" 2>/dev/null &&
        c=$(python3 -c "
import sys
sys.path.insert(0, \"$here\")
from compare_xwd import read_xwd
w, h, px = read_xwd(\"$out/window.xwd\")
print(\"%02x%02x%02x\" % px[h // 2][w // 2])") && [ "$c" = "$1" ] && return 0
      sleep 0.2
    done
    echo "the window did not turn $1 (last ${c:-nothing})" >> "$out/result.txt"
    return 1
  }
  if [ -n "$id" ] && colour 0000ff; then
    xdotool windowfocus --sync "$id"
    xdotool type --delay 50 hi
    xdotool key Return
    colour 00ffff && xdotool keydown x && colour ffff00
    xdotool keyup x
    xdotool mousemove --window "$id" --sync 100 50
    xdotool click 1
    colour 00ff00 && echo "every check passed" >> "$out/result.txt"
  fi
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
' "$engine" "$game" "$out" "$here"
cat "$out/result.txt" 2>/dev/null
grep -q "every check passed" "$out/result.txt" 2>/dev/null || { cat "$out/engine.log"; exit 1; }
