#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each in turn:
#
#   scripts/fuzz.sh [SECONDS [RUNS [CORPUS_DIR]]]
#
# Each target runs for SECONDS (default 60) or RUNS executions, whichever
# comes first (RUNS 0 or absent: no cap). New inputs go to CORPUS_DIR/NAME,
# which is kept, or to a scratch directory removed at the end. A target that
# finds a fault stops with the sanitizer's report and leaves the input that
# caused it in the working directory as crash-* (or leak-*, timeout-*); the
# script then fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
runs=${2:-0}
corpora=${3:-}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
logs=$(mktemp -d)
if [[ -z $corpora ]]; then
    corpora=$(mktemp -d)
    trap 'rm -rf "$corpora" "$logs"' EXIT
else
    trap 'rm -rf "$logs"' EXIT
fi
failed=()
# Every fuzz/NAME_fuzz.cpp is a target; its seeds are fuzz/seeds/NAME and
# its dictionary, if any, fuzz/NAME_fuzz.dict.
for source in fuzz/*_fuzz.cpp; do
    target=$(basename "$source" .cpp)
    echo "=== $target: ${seconds}s ==="
    corpus="$corpora/$target"
    mkdir -p "$corpus"
    seeds=fuzz/seeds/${target%_fuzz}
    options=(-max_total_time="$seconds" -max_len=8192 -print_final_stats=1)
    ((runs > 0)) && options+=(-runs="$runs")
    [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
    inputs=("$corpus")
    [[ -d $seeds ]] && inputs+=("$seeds")
    log="$logs/$target.log"
    if "build/fuzz/fuzz/$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1; then
        # The last status line carries the coverage (cov: edges).
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$log"
    else
        tail -60 "$log"
        failed+=("$target")
    fi
done
if ((${#failed[@]})); then
    echo "fuzz.sh: findings in ${failed[*]}" >&2
    exit 1
fi
