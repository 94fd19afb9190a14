#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each for a while:
#
#   scripts/fuzz.sh [SECONDS]     default 60 per target
#
# A target that finds a fault stops with the sanitizer's report and leaves
# the input that caused it in the working directory as crash-*; the script
# then fails. New inputs found along the way go to a scratch corpus only.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz
cmake --build --preset fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Every fuzz/NAME_fuzz.cpp is a target; its seeds are fuzz/seeds/NAME and
# its dictionary, if any, fuzz/NAME_fuzz.dict.
for source in fuzz/*_fuzz.cpp; do
    target=$(basename "$source" .cpp)
    echo "=== $target: ${seconds}s ==="
    corpus="$scratch/$target"
    mkdir -p "$corpus"
    seeds=fuzz/seeds/${target%_fuzz}
    options=(-max_total_time="$seconds" -max_len=8192 -print_final_stats=1)
    [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
    if [[ -d $seeds ]]; then
        "build/fuzz/fuzz/$target" "${options[@]}" "$corpus" "$seeds" 2>&1 | tail -12
    else
        "build/fuzz/fuzz/$target" "${options[@]}" "$corpus" 2>&1 | tail -12
    fi
done
