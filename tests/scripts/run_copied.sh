#!/usr/bin/env bash
# Runs a script test from a fresh copy in the build folder, so whatever the
# script writes (settings, files) lands there and never in the source tree.
# usage: run_copied.sh WORKDIR ENGINE SCRIPT EXPECTED_STATUS [PATTERN...]
# The copy keeps the script's "../../games/demo/tob.h" include working.
set -u
work=$1 engine=$2 script=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/tests/scripts" "$work/games/demo"
cp "$here/../../games/demo/tob.h" "$work/games/demo/"
cp "$script" "$work/tests/scripts/"
exec "$here/run_script.sh" "$engine" "$work/tests/scripts/$(basename "$script")" "$@"
