#!/usr/bin/env bash
# The engine reaches the platform text and file functions through
# dynamic-linkage slots bound at start-up, which the hook library rewrites: its
# dynamic section asks for immediate binding, its relocations name the four
# functions, it needs the hook library and finds it beside itself.
# The tools do not load the hook.
# usage: dynamic_slots.sh ENGINE TOBTOOL
set -u
engine=$1 tobtool=$2
fail=0
if ! readelf -dW "$engine" | grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW'; then
  echo "no immediate binding in the dynamic section of $engine"
  fail=1
fi
relocs=$(readelf -rW "$engine")
for f in CreateFontIndirectA GetTextExtentPoint32A TextOutA CreateFileA; do
  if ! grep -Eq "(JUMP_SLOT|GLOB_DAT).* $f( |$)" <<<"$relocs"; then
    echo "no dynamic relocation names $f"
    fail=1
  fi
done
dynamic=$(readelf -dW "$engine")
if ! grep -q 'NEEDED.*\[libmorvane_hook.so\]' <<<"$dynamic"; then
  echo "the engine does not need libmorvane_hook.so"
  fail=1
fi
if ! grep -Eq '(RUNPATH|RPATH).*\[\$ORIGIN\]' <<<"$dynamic"; then
  echo "the engine does not look for its libraries beside itself"
  fail=1
fi
if readelf -dW "$tobtool" | grep -q 'libmorvane_hook'; then
  echo "tobtool needs the hook library"
  fail=1
fi
((fail)) && exit 1
echo "ok: immediate binding, slots for the four functions, the hook library beside the engine"
