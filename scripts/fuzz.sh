#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each of them:
#
#   scripts/fuzz.sh [SECONDS [RUNS [CORPUS_DIR]]]
#
# Each target runs for SECONDS (default 60) or RUNS executions, whichever
# comes first (RUNS 0 or absent: no cap), on a core of its own: as many
# targets run at once as there are cores (FUZZ_JOBS to choose), and their
# reports follow in a fixed order. New inputs go to CORPUS_DIR/NAME, which is
# kept, or to a scratch directory removed at the end. A target that finds a
# fault stops with the sanitizer's report and leaves the input that caused it
# in the working directory as crash-* (or leak-*, timeout-*); the script then
# fails.
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
jobs=${FUZZ_JOBS:-$(nproc)}

# run_target NAME: one target, its output in $logs/NAME.log and its exit
# status in $logs/NAME.status.
run_target() {
    local target=$1
    local corpus=$corpora/$target seeds=fuzz/seeds/${target%_fuzz}
    mkdir -p "$corpus"
    local options=(-max_total_time="$seconds" -max_len=8192 -print_final_stats=1)
    ((runs > 0)) && options+=(-runs="$runs")
    [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
    local inputs=("$corpus")
    [[ -d $seeds ]] && inputs+=("$seeds")
    local status=0
    "build/fuzz/fuzz/$target" "${options[@]}" "${inputs[@]}" >"$logs/$target.log" 2>&1 || status=$?
    echo "$status" >"$logs/$target.status"
}

# Every fuzz/NAME_fuzz.cpp is a target; its seeds are fuzz/seeds/NAME and
# its dictionary, if any, fuzz/NAME_fuzz.dict.
targets=()
for source in fuzz/*_fuzz.cpp; do
    targets+=("$(basename "$source" .cpp)")
done
running=0
for target in "${targets[@]}"; do
    if ((running >= jobs)); then
        wait -n || true
        running=$((running - 1))
    fi
    run_target "$target" &
    running=$((running + 1))
done
wait

failed=()
for target in "${targets[@]}"; do
    echo "=== $target: ${seconds}s ==="
    log=$logs/$target.log
    if [[ $(cat "$logs/$target.status" 2>/dev/null) == 0 ]]; then
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
