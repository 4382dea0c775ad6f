#!/usr/bin/env bash
# Opens the real window under a virtual X server, runs the sample game in it
# and takes a screenshot of the screen. Skipped (exit 77) without Xvfb.
# usage: window_smoke.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwd xwininfo
mkdir -p "$out"
xvfb-run -a -s "$xvfb_screen" bash -c '
  "$0" "$1" --timeout 6 > "$2/engine.log" 2>&1 &
  pid=$!
  for i in $(seq 1 100); do
    sleep 0.1
    xwininfo -root -tree 2>/dev/null | grep -q "Morvane Demo" && break
  done
  xwininfo -root -tree > "$2/windows.txt" 2>&1
  xwd -root -silent > "$2/screen.xwd"
  wait $pid
  echo "engine exit $?" >> "$2/engine.log"
' "$engine" "$game" "$out"
if ! grep -q '"Morvane Demo"' "$out/windows.txt"; then
  echo "the window did not appear"; cat "$out/engine.log"; exit 1
fi
if ! grep -q '640x480' "$out/windows.txt"; then
  echo "the window does not have the configured 640x480 client size"; cat "$out/windows.txt"; exit 1
fi
[ -s "$out/screen.xwd" ] || { echo "no screenshot"; exit 1; }
grep -q "engine exit 124" "$out/engine.log" || { echo "the engine did not run to its time-out"; cat "$out/engine.log"; exit 1; }
echo "ok: window shown and captured ($out/screen.xwd)"
