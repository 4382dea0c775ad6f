#!/usr/bin/env bash
# Message boxes in a real window: the script shows three boxes, the test
# answers them with Return (the default button) and Escape, and the script
# puts the answers in the window's caption: No (7), Cancel (2) and Retry (4).
# Skipped (exit 77) without Xvfb, xwininfo or xdotool.
# usage: window_mbox.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwininfo xdotool
mkdir -p "$out"
rm -f "$out/result.txt"
xvfb-run -a -s "$xvfb_screen" bash -c '
  engine=$0 game=$1 out=$2 here=$3
  "$engine" "$game" --timeout 40 > "$out/engine.log" 2>&1 &
  pid=$!
  . "$here/window_id.sh"
  answer() {  # answer BOX-TITLE KEY
    local id
    id=$(window_id "$1")
    [ -n "$id" ] || { echo "no box \"$1\"" >> "$out/result.txt"; return 1; }
    xdotool windowfocus --sync "$id" key --window "$id" "$2"
  }
  answer "Box One" Return && answer "Box Two" Escape && answer "Box Three" Return &&
    [ -n "$(window_id "answers 7 2 4")" ] && echo "every answer arrived" >> "$out/result.txt"
  xwininfo -root -tree > "$out/windows.txt" 2>&1
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
' "$engine" "$game" "$out" "$here"
cat "$out/result.txt" 2>/dev/null
grep -q "every answer arrived" "$out/result.txt" 2>/dev/null ||
  { grep -o "\"answers[^\"]*\"" "$out/windows.txt"; cat "$out/engine.log"; exit 1; }
