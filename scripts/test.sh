#!/usr/bin/env bash
# Builds and runs the test suite, all of it or the named steps, in order:
#
#   scripts/test.sh                    every step
#   scripts/test.sh release tsan       only these
#
# Steps:
#   release          the release build with g++ and its tests
#   static-analysis  clang-tidy and cppcheck over the library's sources
#                    (scripts/static-analysis.sh, on the release build)
#   memcheck         every C++ test program under valgrind's memcheck (the
#                    memcheck test preset, on the release build)
#   sanitize         the AddressSanitizer + UndefinedBehaviorSanitizer build
#                    with clang and its tests
#   tsan             the test programs that run the library on several
#                    threads, under ThreadSanitizer
#   fuzz             a short run of each libFuzzer target (scripts/fuzz.sh)
#   matrix           the C++ suite with its golden vectors on 32-bit Intel and
#                    the big-endian 64-bit SPARC and 32-bit PowerPC builds
#                    under qemu-user (scripts/matrix.sh; the release build is
#                    the x86-64 target)
# Each step's time is printed at its end, and the whole run's at the last.
set -euo pipefail
cd "$(dirname "$0")/.."

all_steps=(release static-analysis memcheck sanitize tsan fuzz matrix)
steps=("$@")
((${#steps[@]})) || steps=("${all_steps[@]}")
for name in "${steps[@]}"; do
    if [[ ! " ${all_steps[*]} " =~ " $name " ]]; then
        echo "test.sh: unknown step '$name' (steps: ${all_steps[*]})" >&2
        exit 2
    fi
done

build() { cmake --preset "$1" && cmake --build --preset "$1"; }
step_release() { build release && ctest --preset release; }
step_static-analysis() { cmake --preset release && bash scripts/static-analysis.sh build/release; }
step_memcheck() { build release && ctest --preset memcheck; }
step_sanitize() { build sanitize && ctest --preset sanitize; }
step_tsan() { build tsan && ctest --preset tsan; }
step_fuzz() { bash scripts/fuzz.sh 30; }
step_matrix() { bash scripts/matrix.sh i686 sparc64 ppc; }

bash scripts/deps.sh
start=$SECONDS
for name in "${steps[@]}"; do
    began=$SECONDS
    echo "=== $name ==="
    "step_$name"
    echo "=== $name: $((SECONDS - began)) s ==="
done
echo "=== all passed in $((SECONDS - start)) s ==="
