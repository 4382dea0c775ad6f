#!/usr/bin/env bash
# With DebugMode=1 a window session shows the debug output window beside the
# main window: captured under a virtual X server, it must have its size and
# show the lines the script wrote. Skipped (exit 77) without Xvfb.
# usage: window_debug_output.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run xwd xwininfo python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
mkdir -p "$out"
rm -f "$out/debug.xwd" "$out/check.txt"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  engine=$0 game=$1 out=$2 here=$3
  "$engine" "$game" --timeout 15 > "$out/engine.log" 2>&1 &
  pid=$!
  id=""
  for i in $(seq 1 100); do
    id=$(xwininfo -name "Debug Output" 2>/dev/null | sed -n "s/.*Window id: \(0x[0-9a-f]*\).*/\1/p")
    [ -n "$id" ] && break
    sleep 0.1
  done
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
