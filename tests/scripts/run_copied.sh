#!/usr/bin/env bash
# Runs a script test from a fresh copy in the build folder, so whatever the
# script writes (settings, files) lands there and never in the source tree.
# usage: run_copied.sh WORKDIR ENGINE SCRIPT EXPECTED_STATUS [PATTERN...]
# The copy keeps the script's "../../games/demo/tob.h" include working.
# SCRIPT_FILES names more files (separated by ":") copied next to the script.
set -u
work=$1 engine=$2 script=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/tests/scripts" "$work/games/demo"
cp "$here/../../games/demo/tob.h" "$work/games/demo/"
cp "$script" "$here/check.h" "$work/tests/scripts/"
IFS=: read -r -a extra <<<"${SCRIPT_FILES:-}"
for f in "${extra[@]}"; do cp "$f" "$work/tests/scripts/"; done
exec "$here/run_script.sh" "$engine" "$work/tests/scripts/$(basename "$script")" "$@"
