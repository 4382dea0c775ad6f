#!/usr/bin/env bash
# Plays a clip in a rectangle over a drawn picture in a real window under a
# virtual X server and checks the captured window: the clip's last frame in
# its rectangle, then the picture alone once the clip is closed. Skipped
# (exit 77) without Xvfb.
# usage: video_window.sh ENGINE GAME_DIR OUT_DIR [MENU_BAR_HEIGHT]
set -u
engine=$1 game=$2 out=$3 bar=${4:-0}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwd xwininfo python3
mkdir -p "$out"
rm -f "$out/window.xwd" "$out/match.txt" "$out/closed.txt"
xvfb-run -a -s "$xvfb_screen" bash -c '
  engine=$0 game=$1 out=$2 here=$3 bar=$4
  "$engine" "$game" --timeout 30 > "$out/engine.log" 2>&1 &
  pid=$!
  . "$here/window_id.sh"
  id=$(window_id VideoWindow)
  # The clip lasts two seconds; capture until its last frame is there
  # (a loaded machine may take a while).
  for i in $(seq 1 60); do
    [ -n "$id" ] || break
    sleep 0.25
    xwd -id "$id" -silent > "$out/window.xwd" 2>/dev/null || continue
    if python3 "$here/video_window/check_window.py" "$out/window.xwd" "$bar" > "$out/match.txt" 2>&1; then
      break
    fi
  done
  # Closed, the video leaves the picture alone.
  for i in $(seq 1 60); do
    grep -q "window shows" "$out/match.txt" 2>/dev/null || break
    sleep 0.25
    xwd -id "$id" -silent > "$out/closed.xwd" 2>/dev/null || continue
    if python3 "$here/video_window/check_window.py" "$out/closed.xwd" "$bar" closed > "$out/closed.txt" 2>&1; then
      break
    fi
  done
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
' "$engine" "$game" "$out" "$here" "$bar"
[ -s "$out/window.xwd" ] || { echo "the window was not captured"; cat "$out/engine.log"; exit 1; }
cat "$out/match.txt" "$out/closed.txt" 2>/dev/null
grep -q "window shows" "$out/match.txt" && grep -q "after the clip closed" "$out/closed.txt"
