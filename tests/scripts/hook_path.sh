#!/usr/bin/env bash
# A script's gtext reaches TextOutA through the engine's dynamic-linkage slot:
# a preloaded stand-in for the hook library sees the call.
# usage: hook_path.sh ENGINE SHIM SCRIPT
set -u
engine=$1 shim=$2 script=$3
out=$(LD_PRELOAD="$shim" ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
      "$engine" --headless --timeout 30 "$script" 2>&1)
status=$?
if [[ $status != 0 ]] || ! grep -q "text shim: first TextOutA call" <<<"$out"; then
  echo "exit status $status; output:"
  echo "$out"
  exit 1
fi
echo "ok: gtext reached the preloaded TextOutA"
