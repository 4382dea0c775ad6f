#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the optimised build, once under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the tests of threads
# (the script tests and the unit tests of threads, programs, window commands,
# the debug output and menus) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
for preset in default asan tsan; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset tests =="
  ctest --preset "$preset" -j "$jobs"
done
