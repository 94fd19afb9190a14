#!/usr/bin/env bash
# The benchmark report in one command: builds the benchmarks, runs every
# comparison with its peers in one run per area (Google Benchmark with random
# interleaving, medians of several repetitions; the Java benchmarks in one
# virtual machine each, after a warm-up) and writes docs/benchmarks/README.md
# with the machine, tables of MB/s with the ratios ours / peer, and charts.
#
#   scripts/bench-report.sh [--quick] [--only PARTS] [--build-root DIR] [--out DIR]
#
#   --quick           fewer repetitions, documents and runs: a smoke run whose
#                     figures are not meant to be quoted
#   --only PARTS      a comma-separated subset of crypto, parse, write, java
#                     (xml stands for parse,write); the report keeps the last
#                     results of the other parts, marked with their date
#   --build-root DIR  build trees DIR/bench and DIR/release, raw results in
#                     DIR/bench-report (default: build)
#   --out DIR         where README.md and the charts go (default: docs/benchmarks)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    sed -n '/^#   scripts/,/^#   --out/p' "$0" | sed 's/^# \{0,1\}//'
    exit "${1:-0}"
}

quick=0
parts="crypto,parse,write,java"
root=build
out=docs/benchmarks
while (($#)); do
    case $1 in
        --quick) quick=1 ;;
        --only) parts=${2:?--only needs a list}; shift ;;
        --only=*) parts=${1#--only=} ;;
        --build-root) root=${2:?--build-root needs a directory}; shift ;;
        --out) out=${2:?--out needs a directory}; shift ;;
        -h | --help) usage 0 ;;
        *) echo "unknown option: $1" >&2; usage 2 >&2 ;;
    esac
    shift
done

declare -A want=()
IFS=, read -r -a requested <<<"$parts"
for p in "${requested[@]}"; do
    case $p in
        crypto | parse | write | java) want[$p]=1 ;;
        xml) want[parse]=1; want[write]=1 ;;
        *) echo "unknown part '$p' (crypto, parse, write, java, xml)" >&2; exit 2 ;;
    esac
done
wants() { [[ -n ${want[$1]:-} ]]; }

# Repetitions and lengths. The XML benchmarks fix their own repetitions (five)
# and minimum times; a quick run times fewer documents instead.
if ((quick)); then
    mode=quick
    gbench_reps=3 gbench_min_time=0.1
    java_mib=2 java_runs=3 java_warmup=0 sha1_runs=3 sha1_warmup=0.5
else
    mode=full
    gbench_reps=9 gbench_min_time=0.5
    java_mib=16 java_runs=11 java_warmup=20 sha1_runs=15 sha1_warmup=10
fi
# The Java benchmarks time their thread's CPU, as the native rates are taken
# over CPU time: on a shared machine the wall clock counts the waits too.
jvm_options=(-Xms1g -Xmx1g -XX:+AlwaysPreTouch -Dsecnative.bench.clock=cpu)

bench_dir=$root/bench
release_dir=$root/release
results=$root/bench-report
mkdir -p "$results" "$out"
started=$SECONDS

bash scripts/deps.sh
if wants crypto || wants parse || wants write; then
    echo "== building the bench preset in $bench_dir"
    cmake --preset bench -B "$bench_dir" >/dev/null
    cmake --build "$bench_dir" -j 2
fi
if wants java; then
    echo "== building the library and the Java benchmarks in $release_dir"
    cmake --preset release -B "$release_dir" >/dev/null
    cmake --build "$release_dir" -j 2 --target secnative secnative_bench_java
fi

# record PART SECONDS COMMAND...: how a part's results were made, for the report.
record() {
    local part=$1 took=$2
    shift 2
    {
        echo "mode=$mode"
        echo "seconds=$took"
        echo "date=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
        echo "command=$*"
    } >"$results/$part.run"
}

# gbench PART EXECUTABLE [ARGS...]: one Google Benchmark run, its JSON kept
# as PART.json and its console table as PART.txt.
gbench() {
    local part=$1 exe=$2
    shift 2
    local args=(--benchmark_enable_random_interleaving=true
        --benchmark_out="$results/$part.json.part" --benchmark_out_format=json "$@")
    echo "== $part: $(basename "$exe") ${args[*]}"
    local t0=$SECONDS
    if ! "$exe" "${args[@]}" >"$results/$part.txt" 2>&1; then
        tail -n 20 "$results/$part.txt" >&2
        echo "$part: $(basename "$exe") failed" >&2
        exit 1
    fi
    mv "$results/$part.json.part" "$results/$part.json"
    record "$part" $((SECONDS - t0)) "$(basename "$exe")" "${args[@]}"
}

# A filter that keeps the first corpus document and the first generated one:
# the quick run's share of an XML benchmark. The names are escaped for the
# regular expression of --benchmark_filter.
# shellcheck disable=SC2016
quick_documents() {
    local docs
    docs=$("$1" --benchmark_list_tests | sed 's#/.*##' | awk '!seen[$0]++')
    {
        grep -m 1 -v '^gen-' <<<"$docs"
        grep -m 1 '^gen-' <<<"$docs"
    } | sed 's/[][\.*^$()+?{}|]/\\&/g' | paste -sd'|'
}

bin=$bench_dir/bench
if wants crypto; then
    gbench crypto "$bin/crypto_bench" --benchmark_repetitions=$gbench_reps \
        --benchmark_min_time=$gbench_min_time --benchmark_report_aggregates_only=true
fi
if wants parse; then
    filter=()
    ((quick)) && filter=(--benchmark_filter="^($(quick_documents "$bin/xml_bench"))/")
    gbench parse "$bin/xml_bench" "${filter[@]}"
fi
if wants write; then
    filter=()
    ((quick)) && filter=(--benchmark_filter="^($(quick_documents "$bin/xml_write_bench")|base64)/")
    gbench write "$bin/xml_write_bench" "${filter[@]}"
fi

if wants java; then
    classpath=$release_dir/java/secnative.jar:$release_dir/bench/java/secnative-bench.jar
    jvm=(java "${jvm_options[@]}" -Djava.library.path="$release_dir" -cp "$classpath")

    cipher_args=(com.ardex.security.bench.WarmUp "$java_warmup"
        com.ardex.security.bench.CipherBench "$java_mib" "$java_runs")
    echo "== java: CipherBench, ${java_mib} MiB streams, $java_runs runs, ${java_warmup} s warm-up"
    t0=$SECONDS
    "${jvm[@]}" "${cipher_args[@]}" >"$results/java_cipher.txt.part"
    mv "$results/java_cipher.txt.part" "$results/java_cipher.txt"
    record java_cipher $((SECONDS - t0)) "${jvm[@]}" "${cipher_args[@]}"
    cat "$results/java_cipher.txt"

    echo "== java: Sha1Bench, $sha1_runs runs, ${sha1_warmup} s warm-up"
    t0=$SECONDS
    "${jvm[@]}" com.ardex.security.bench.Sha1Bench "$sha1_runs" "$sha1_warmup" \
        >"$results/java_sha1.txt.part"
    mv "$results/java_sha1.txt.part" "$results/java_sha1.txt"
    record java_sha1 $((SECONDS - t0)) "${jvm[@]}" \
        com.ardex.security.bench.Sha1Bench "$sha1_runs" "$sha1_warmup"
    cat "$results/java_sha1.txt"

    # Whether the virtual machine's AES and SHA-1 run on the processor's instructions.
    java "${jvm_options[@]}" -XX:+UnlockDiagnosticVMOptions -XX:+PrintFlagsFinal -version 2>/dev/null |
        grep -E '\b(UseAES|UseAESIntrinsics|UseSHA|UseSHA1Intrinsics|UseAVX)\b' \
            >"$results/java_flags.txt" || true
fi

echo "== writing $out/README.md"
python3 scripts/bench_report.py --results "$results" --out "$out" --bench-build "$bench_dir" \
    --jvm-options="${jvm_options[*]}"
echo "benchmark report: $out/README.md ($mode run of ${parts}, $((SECONDS - started)) s)"
