#!/usr/bin/env bash
# With DebugMode=1 a window session shows the debug output window beside the
# main window: captured under a virtual X server, it must have its size and
# show the lines the script wrote. Skipped (exit 77) without Xvfb.
# usage: window_debug_output.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwd xwininfo python3
mkdir -p "$out"
rm -f "$out/debug.xwd" "$out/check.txt"
xvfb-run -a -s "$xvfb_screen" bash -c '
  engine=$0 game=$1 out=$2 here=$3
  "$engine" "$game" --timeout 15 > "$out/engine.log" 2>&1 &
  pid=$!
  . "$here/window_id.sh"
  id=$(window_id "Debug Output")
  xwininfo -root -tree > "$out/windows.txt" 2>&1
  # Capture until the lines are there (a loaded machine may take a while).
  for i in $(seq 1 40); do
    [ -n "$id" ] || break
    sleep 0.25
    xwd -id "$id" -silent > "$out/debug.xwd" 2>/dev/null || continue
    python3 - "$out/debug.xwd" "$here" > "$out/check.txt" 2>&1 <<PY && break
import sys
sys.path.insert(0, sys.argv[2])
from compare_xwd import read_xwd
w, h, px = read_xwd(sys.argv[1])
if (w, h) != (297, 195):
    raise SystemExit(f"the debug window is {w}x{h}, not 297x195")
# The list inside its border, without the scroll bars.
dark = sum(1 for y in range(8, 134) for x in range(8, 269) if max(px[y][x]) < 64)
if dark < 200:
    raise SystemExit(f"the list shows no lines ({dark} dark pixels)")
print(f"debug window shows its lines ({dark} dark pixels)")
PY
  done
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
' "$engine" "$game" "$out" "$here"
grep -q '"Debug Test"' "$out/windows.txt" || { echo "the main window did not appear"; cat "$out/engine.log"; exit 1; }
[ -s "$out/debug.xwd" ] || { echo "the debug output window did not appear"; cat "$out/windows.txt" "$out/engine.log"; exit 1; }
cat "$out/check.txt"
grep -q "shows its lines" "$out/check.txt"
