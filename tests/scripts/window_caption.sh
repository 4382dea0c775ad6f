#!/usr/bin/env bash
# The caption built-in sets the real window's title: a script sets a Japanese
# caption and xprop must read it back as UTF-8. Skipped (exit 77) without Xvfb.
# usage: window_caption.sh ENGINE GAME_DIR OUT_DIR
set -u
engine=$1 game=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_session.sh" xwininfo xprop
mkdir -p "$out"
want=$(printf '\343\203\206\343\202\271\343\203\210 caption')
xvfb-run -a -s "$xvfb_screen" bash -c '
  . "$3/window_id.sh"
  "$0" "$1" --timeout 6 > "$2/engine.log" 2>&1 &
  pid=$!
  id=$(window_id "$4")
  [ -n "$id" ] && xprop -id "$id" _NET_WM_NAME > "$2/name.txt" 2>&1
  kill $pid 2>/dev/null
  wait $pid
' "$engine" "$game" "$out" "$here" "$want"
if ! grep -qF "$want" "$out/name.txt" 2>/dev/null; then
  echo "the window title is not \"$want\""; cat "$out/name.txt" "$out/engine.log" 2>/dev/null; exit 1
fi
echo "ok: caption set ($want)"
