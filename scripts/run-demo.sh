#!/usr/bin/env bash
# Sets up, builds and runs the bundled sample game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
exec ./build/engine "$@"
