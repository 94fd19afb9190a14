#!/usr/bin/env bash
# Builds the release library and runs the demo in the Java virtual machine: a
# file goes through VXCipher and the library's stream cipher, and back.
#
#   scripts/demo.sh [FILE [PROJECT [PASSWORD]]]
#
# Without FILE the demo writes a sample text to a temporary directory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target secnative secnative_demo
java -Dsecnative.library.path=build/release/libsecnative.so \
    -jar build/release/java/secnative-demo.jar "$@"
