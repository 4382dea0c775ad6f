#!/usr/bin/env bash
# Shows a game in a real window under a virtual X server, captures the window
# and checks that it shows exactly the expected picture (the game's view page).
# Skipped (exit 77) without Xvfb.
# usage: window_capture.sh ENGINE GAME_DIR TITLE EXPECTED.bmp OUT_DIR
set -u
engine=$1 game=$2 title=$3 expected=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwd xwininfo python3
mkdir -p "$out"
rm -f "$out/window.xwd" "$out/match.txt"
xvfb-run -a -s "$xvfb_screen" bash -c '
  engine=$0 game=$1 title=$2 expected=$3 out=$4 here=$5
  "$engine" "$game" --timeout 15 > "$out/engine.log" 2>&1 &
  pid=$!
  . "$here/window_id.sh"
  id=$(window_id "$title")
  # The script draws once and then waits: capture until the picture is there
  # (a loaded machine may take a while to draw it).
  for i in $(seq 1 40); do
    [ -n "$id" ] || break
    sleep 0.25
    xwd -id "$id" -silent > "$out/window.xwd" 2>/dev/null || continue
    if python3 "$here/compare_xwd.py" "$out/window.xwd" "$expected" > "$out/match.txt" 2>&1; then
      break
    fi
  done
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
' "$engine" "$game" "$title" "$expected" "$out" "$here"
[ -s "$out/window.xwd" ] || { echo "the window '$title' was not captured"; cat "$out/engine.log"; exit 1; }
cat "$out/match.txt"
grep -q "window matches" "$out/match.txt"
