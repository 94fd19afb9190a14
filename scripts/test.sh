#!/usr/bin/env bash
# Builds and runs the whole test suite:
#   - the release build with g++, its tests, static analysis of the library's
#     sources (scripts/static-analysis.sh) and every C++ test program under
#     valgrind's memcheck (the memcheck test preset);
#   - the AddressSanitizer + UndefinedBehaviorSanitizer build with clang;
#   - the test programs that run the library on several threads under
#     ThreadSanitizer (the tsan presets build only those and run the tests
#     labelled threads);
#   - a short run of each libFuzzer target (scripts/fuzz.sh);
#   - the C++ suite with its golden vectors on 32-bit Intel and the
#     big-endian 64-bit SPARC and 32-bit PowerPC builds under qemu-user
#     (scripts/matrix.sh; the release build is the x86-64 target).
# Each step's time is printed at its end, and the whole run's at the last.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
step() {
    local name=$1 began=$SECONDS
    shift
    echo "=== $name ==="
    "$@"
    echo "=== $name: $((SECONDS - began)) s ==="
}
build_and_test() {
    cmake --preset "$1"
    cmake --build --preset "$1"
    ctest --preset "$1"
}
bash scripts/deps.sh
step release build_and_test release
step static-analysis bash scripts/static-analysis.sh build/release
step memcheck ctest --preset memcheck
step sanitize build_and_test sanitize
step tsan build_and_test tsan
step fuzz bash scripts/fuzz.sh 30
step matrix bash scripts/matrix.sh i686 sparc64 ppc
echo "=== all passed in $((SECONDS - start)) s ==="
