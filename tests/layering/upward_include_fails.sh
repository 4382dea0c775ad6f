#!/usr/bin/env bash
# The layering check must fail on an upward include: a storage file that
# includes a shell header, in a copy of the layer table.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/src/storage" "$tree/tools"
cp "$here/../../src/layers.txt" "$tree/src/"
printf '#include "storage/ok.h"\n' >"$tree/src/storage/ok.cpp"
python3 "$here/check_includes.py" "$tree" >/dev/null  # a clean tree passes
printf '#include "shell/app.h"\n' >"$tree/src/storage/upward.cpp"
if python3 "$here/check_includes.py" "$tree"; then
  echo "an upward include was not caught"
  exit 1
fi
