#!/usr/bin/env bash
# Builds the release library and runs the demo: a file goes through the stream
# cipher and back.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vxdemo
./build/release/tools/vxdemo
