#!/usr/bin/env bash
# A script's gtext reaches TextOutA through the engine's dynamic-linkage slot:
# a preloaded stand-in for the hook library sees the call. The hook library
# then finds the three text slots holding the stand-in, not the platform's
# functions, and leaves them alone; the file slot it still takes.
# usage: hook_path.sh ENGINE SHIM SCRIPT
set -u
engine=$1 shim=$2 script=$3
tmp=$(mktemp -d /tmp/hook_path_XXXXXX)
trap 'rm -rf "$tmp"' EXIT
out=$(LD_PRELOAD="$shim" ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
      TMPDIR="$tmp" MORVANE_HOOK_LOG=1 "$engine" --headless --timeout 30 "$script" 2>&1)
status=$?
if [[ $status != 0 ]] || ! grep -q "text shim: first TextOutA call" <<<"$out"; then
  echo "exit status $status; output:"
  echo "$out"
  exit 1
fi
installs="[hook] TextOutA=0 GetTextExtentPoint32A=0 CreateFontIndirectA=0 CreateFileA=1"
if ! grep -qF -- "$installs" "$tmp/morvane_hook.log"; then
  echo "the hook's log lacks: $installs"
  cat "$tmp/morvane_hook.log"
  exit 1
fi
echo "ok: gtext reached the preloaded TextOutA; the hook left foreign slots alone"
