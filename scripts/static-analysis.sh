#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) and cppcheck over the library's
# sources and fails on any finding. A finding that is not a fault is
# suppressed at its line, with the reason beside it.
#
#   scripts/static-analysis.sh [BUILD_DIR]   default build/release
#
# clang-tidy reads the compile commands of BUILD_DIR, so configure it first
# (cmake --preset release); its headers are checked through the sources
# that include them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [[ ! -f $build/compile_commands.json ]]; then
    echo "static-analysis.sh: no $build/compile_commands.json; configure $build first" >&2
    exit 2
fi
dirs=(cipher common crypto jni login xml)
sources=()
for dir in "${dirs[@]}"; do
    for f in "$dir"/*.cpp; do
        # A source the build did not configure (the natives without a JDK)
        # has no compile command to check it with.
        grep -q "\"file\": \"[^\"]*/$f\"" "$build/compile_commands.json" && sources+=("$f")
    done
done
echo "=== clang-tidy: ${#sources[@]} sources ==="
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
printf '%s\n' "${sources[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy --quiet -p "$build" --warnings-as-errors='*' >"$log" 2>&1 ||
    status=1
grep -v "warnings generated\|^Suppressed\|^Use -header-filter" "$log" || true
echo "=== cppcheck ==="
cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++17 --language=c++ -I . \
    --enable=warning,performance,portability,style --suppress=missingIncludeSystem \
    "${dirs[@]}" || status=1
if ((status != 0)); then
    echo "static-analysis.sh: findings above" >&2
    exit 1
fi
echo "static-analysis.sh: clean"
