#!/usr/bin/env bash
# Builds the release library and runs a Java benchmark in a virtual machine
# with a fixed, pre-touched heap.
#
#   scripts/bench-java.sh [TOTAL_MIB [RUNS]]
#       VXCipher next to javax.crypto's AES/ECB/PKCS5Padding in one virtual
#       machine, for updates of 64 B, 4 KiB and 1 MiB, encrypting and
#       decrypting (defaults: 8 MiB per stream, 7 runs).
#   scripts/bench-java.sh --probe [BATCHES]
#       Where the time of a small call goes: each JNI operation that
#       VXCipher's natives make, timed on its own, next to whole update and
#       doFinal calls and javax.crypto's updates (default: 200 batches).
#
# BUILD_DIR names the build tree (default build/release, the release preset's).
# SECNATIVE_BENCH_CLOCK=cpu makes the first benchmark time the thread's CPU
# instead of the wall clock, which suits a machine shared with other work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build=${BUILD_DIR:-build/release}
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake --preset release -B "$build" >/dev/null
fi
cmake --build "$build" --target secnative secnative_bench_java secnative_jni_probe

jvm=(java -Xms1g -Xmx1g -XX:+AlwaysPreTouch -Djava.library.path="$build"
    -Dsecnative.bench.clock="${SECNATIVE_BENCH_CLOCK:-wall}"
    -cp "$build/java/secnative.jar:$build/bench/java/secnative-bench.jar")
if [[ ${1:-} == --probe ]]; then
    shift
    "${jvm[@]}" -Dsecnative.probe.library="$PWD/$build/bench/java/libsecnative_jni_probe.so" \
        com.ardex.security.bench.JniCostProbe "$@"
else
    "${jvm[@]}" com.ardex.security.bench.CipherBench "$@"
fi
