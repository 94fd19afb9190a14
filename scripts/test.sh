#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build with g++, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build with clang.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
for preset in release sanitize; do
    echo "=== $preset ==="
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
