#!/usr/bin/env bash
# The engine reaches the platform text functions through dynamic-linkage slots
# bound at start-up, which a hook library can rewrite: its dynamic section asks
# for immediate binding and its relocations name the three functions.
# usage: dynamic_slots.sh ENGINE
set -u
engine=$1
fail=0
if ! readelf -dW "$engine" | grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW'; then
  echo "no immediate binding in the dynamic section of $engine"
  fail=1
fi
relocs=$(readelf -rW "$engine")
for f in CreateFontIndirectA GetTextExtentPoint32A TextOutA; do
  if ! grep -Eq "(JUMP_SLOT|GLOB_DAT).* $f( |$)" <<<"$relocs"; then
    echo "no dynamic relocation names $f"
    fail=1
  fi
done
((fail)) && exit 1
echo "ok: immediate binding and slots for the three text functions"
