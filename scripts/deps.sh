#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on a Debian machine.
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config
    # tests: GoogleTest, clang with its sanitizer runtimes, Java for the JVM tests
    libgtest-dev clang libclang-rt-14-dev openjdk-17-jdk-headless junit5
    # benchmarks and their peers (never linked into the library)
    libbenchmark-dev libssl-dev openssl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
