#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build with g++, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build with clang, a short run
# of each libFuzzer target (scripts/fuzz.sh), then the C++ suite with its
# golden vectors on 32-bit Intel and the big-endian 64-bit
# SPARC and 32-bit PowerPC builds under qemu-user (scripts/matrix.sh; the
# release build is the x86-64 target).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
for preset in release sanitize; do
    echo "=== $preset ==="
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
bash scripts/fuzz.sh 30
bash scripts/matrix.sh i686 sparc64 ppc
