#!/usr/bin/env bash
# Builds the release library and runs the Java benchmark: VXCipher next to
# javax.crypto's AES/ECB/PKCS5Padding in one virtual machine, for updates of
# 64 B, 4 KiB and 1 MiB, encrypting and decrypting.
#
#   scripts/bench-java.sh [TOTAL_MIB [RUNS]]    defaults: 8 MiB per stream, 7 runs
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target secnative secnative_bench_java
java -Djava.library.path=build/release \
    -cp build/release/java/secnative.jar:build/release/bench/java/secnative-bench.jar \
    com.ardex.security.bench.CipherBench "$@"
