#!/usr/bin/env bash
# A resizable window may not shrink below a quarter of its configured size:
# the window tells the window manager so. Skipped (exit 77) without Xvfb.
# usage: window_min_size.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xprop xwininfo
mkdir -p "$out"
xvfb-run -a -s "$xvfb_screen" bash -c '
  "$0" "$1" --timeout 40 > "$2/engine.log" 2>&1 &
  pid=$!
  # The hints follow the window by a moment; a loaded machine may take a
  # while to show it at all.
  for i in $(seq 1 300); do
    xprop -name Resizable WM_NORMAL_HINTS > "$2/hints.txt" 2>&1
    grep -q "minimum size" "$2/hints.txt" && break
    sleep 0.1
  done
  kill $pid 2>/dev/null
  wait $pid
' "$engine" "$game" "$out" "$here"
if ! grep -q "minimum size: 160 by 120" "$out/hints.txt" 2>/dev/null; then
  echo "no minimum size of 160 by 120"; cat "$out/hints.txt" "$out/engine.log" 2>/dev/null; exit 1
fi
echo "ok: minimum size 160 by 120"
