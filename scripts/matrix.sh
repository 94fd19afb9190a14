#!/usr/bin/env bash
# Builds the library and runs the C++ test suite, golden vectors included, on
# every target the library ships for: x86-64 natively, 32-bit Intel, and the
# big-endian 64-bit SPARC and 32-bit PowerPC builds under qemu-user.
#
#   scripts/matrix.sh                  all four targets
#   scripts/matrix.sh i686 sparc64     only the named ones
#
# Targets: x86_64, i686, sparc64, ppc (configure presets x-<target>, build
# directories build/x-<target>). Every target runs even when an earlier one
# fails; the script ends with one summary line per target and the tests
# passed and failed over all of them (a target that does not build counts as
# one failure), and exits non-zero if any target failed. Under an emulator a
# CTest test is a whole test program; the summary also counts the GoogleTest
# tests they passed. Full logs stay in build/x-<target>/matrix.log.
set -uo pipefail
cd "$(dirname "$0")/.."

all_targets=(x86_64 i686 sparc64 ppc)
targets=("$@")
((${#targets[@]})) || targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
    if [[ ! " ${all_targets[*]} " =~ " $target " ]]; then
        echo "matrix.sh: unknown target '$target' (known: ${all_targets[*]})" >&2
        exit 2
    fi
done

bash scripts/deps.sh --cross || exit 1

summary=()
failed=0
tests_passed=0
tests_failed=0
gtests_passed=0

# run_target <target>: configure, build and test one preset, logging to its
# build directory; appends a summary line.
run_target() {
    local target=$1 preset=x-$1
    local dir=build/$preset log=build/$preset/matrix.log
    mkdir -p "$dir"
    echo "=== $target ==="
    local start=$SECONDS build_end verdict
    { cmake --preset "$preset" && cmake --build --preset "$preset"; } 2>&1 | tee "$log"
    local built=${PIPESTATUS[0]}
    build_end=$SECONDS
    local tests_line="" gtests=0
    if ((built == 0)); then
        ctest --preset "$preset" 2>&1 | tee -a "$log"
        local tested=${PIPESTATUS[0]}
        # The GoogleTest tests the programs passed ("[  PASSED  ] 12 tests.").
        gtests=$(awk '/^\[  PASSED  \] [0-9]+ tests?\./ { n += $4 } END { print n + 0 }' \
            "$dir/Testing/Temporary/LastTest.log")
        gtests=${gtests:-0}
        gtests_passed=$((gtests_passed + gtests))
        tests_line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
        if ((tested == 0)); then verdict=PASS; else verdict=FAIL; fi
    else
        verdict="FAIL (build)"
    fi
    [[ $verdict == PASS ]] || failed=1
    local count=${tests_line##*out of }
    if [[ -n $tests_line ]]; then
        local bad=${tests_line#*passed, }
        bad=${bad%% *}
        tests_passed=$((tests_passed + count - bad))
        tests_failed=$((tests_failed + bad))
    elif [[ $verdict != PASS ]]; then
        tests_failed=$((tests_failed + 1))  # a target that did not build
    fi
    summary+=("$(printf 'matrix %-8s %-12s tests: %-5s (%5s GoogleTest tests)  build %4ds  test %4ds' \
        "$target" "$verdict" "${count:--}" "$gtests" $((build_end - start)) $((SECONDS - build_end)))")
}

for target in "${targets[@]}"; do
    run_target "$target"
done

echo
printf '%s\n' "${summary[@]}"
echo "matrix: $tests_passed passed, $tests_failed failed ($gtests_passed GoogleTest tests passed)"
exit $failed
