#!/usr/bin/env bash
# Shows a game in a real window under a virtual X server, captures the window
# and checks that it shows exactly the view page. Skipped (77) without Xvfb.
# usage: window_capture.sh ENGINE GAME_DIR TITLE OUT_DIR
set -u
engine=$1 game=$2 title=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run xwd xwininfo python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
mkdir -p "$out"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  engine=$0 game=$1 title=$2 out=$3
  "$engine" "$game" --timeout 3 --screenshot "$out/page.bmp" > "$out/engine.log" 2>&1 &
  pid=$!
  for i in $(seq 1 40); do
    sleep 0.1
    id=$(xwininfo -name "$title" 2>/dev/null | sed -n "s/.*Window id: \(0x[0-9a-f]*\).*/\1/p")
    [ -n "$id" ] && break
  done
  sleep 1  # let the script draw and update
  [ -n "$id" ] && xwd -id "$id" -silent > "$out/window.xwd"
  wait $pid
' "$engine" "$game" "$title" "$out"
[ -s "$out/window.xwd" ] || { echo "the window '$title' was not captured"; cat "$out/engine.log"; exit 1; }
[ -s "$out/page.bmp" ] || { echo "no screenshot of the view page"; cat "$out/engine.log"; exit 1; }
python3 "$here/compare_xwd.py" "$out/window.xwd" "$out/page.bmp"
