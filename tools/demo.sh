#!/usr/bin/env bash
# Sets up, builds (release) and runs the demo host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/out/memlist-demo "$@"
