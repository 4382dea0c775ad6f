#!/usr/bin/env bash
# The engine with the hook library and a code-page table beside it, headless,
# on a game whose data.bin has a translated copy data_cn.bin (both made with
# tobtool pack): the script must load the translated message, the hook's log
# must show the attach, the four installs and the redirect, and the screenshot
# of the mapped pair must match the golden picture.
# usage: hook_end_to_end.sh BUILD_DIR GAME_SOURCE GOLDEN.bmp OUT.bmp
set -u
build=$1 source=$2 golden=$3 out=$4
dir=$(mktemp -d /tmp/hook_e2e_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$build/engine" "$build/libtob_winapi.so" "$build/libmorvane_hook.so" "$dir/"
MORVANE_HOOK_LOG=0 "$build/hook_probe" make-table "$dir/morvane_cp.tbl" || exit 1
game=$dir/game
mkdir -p "$game" "$dir/tmp"
cp "$source/hook_game.c" "$source/hook_game.cfg" "$build/tob.h" "$game/"
"$build/tobtool" pack "$source/original" "$game/data.bin" >/dev/null || exit 1
"$build/tobtool" pack "$source/translated" "$game/data_cn.bin" >/dev/null || exit 1
rm -f "$out"
output=$(TMPDIR=$dir/tmp MORVANE_HOOK_LOG=1 "$dir/engine" --headless --timeout 30 \
         --screenshot "$out" "$game" 2>&1)
status=$?
log=$dir/tmp/morvane_hook.log
fail=0
if [[ $status != 0 ]] || ! grep -q "msg: Hello from the translation" <<<"$output"; then
  echo "exit status $status; the translated message did not appear:"
  echo "$output"
  fail=1
fi
for line in "===== DLL_PROCESS_ATTACH =====" \
            "[hook] TextOutA=1 GetTextExtentPoint32A=1 CreateFontIndirectA=1 CreateFileA=1" \
            "[redirect] $game/data.bin -> $game/data_cn.bin"; do
  if ! grep -qF -- "$line" "$log" 2>/dev/null; then
    echo "the hook's log lacks: $line"
    fail=1
  fi
done
if ! cmp -s "$out" "$golden"; then
  echo "the screenshot $out differs from $golden"
  fail=1
fi
((fail)) && { echo "--- log:"; cat "$log" 2>/dev/null; exit 1; }
echo "ok: translated archive and mapped text"
