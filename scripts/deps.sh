#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on a Debian machine.
# Safe to run again: it only calls apt-get when a package is missing.
#
#   scripts/deps.sh           the native build, tests and benchmarks
#   scripts/deps.sh --cross   also the cross compilers and qemu-user that the
#                             target matrix (scripts/matrix.sh) needs
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config libcli11-dev
    # tests: GoogleTest, clang with its sanitizer runtimes, Java for the JVM tests
    libgtest-dev clang libclang-rt-14-dev openjdk-17-jdk-headless junit5
    # the terminal prompt's tests on a pseudo-terminal
    python3
    # checks: static analysis and valgrind's memcheck
    clang-tidy cppcheck valgrind
    # benchmarks and their peers (never linked into the library)
    libbenchmark-dev libssl-dev openssl
    libpugixml-dev libtinyxml2-dev libxml2-dev libexpat1-dev
    # the charts of the benchmark report
    gnuplot-nox
)

# The target matrix: 32-bit Intel and the big-endian 64-bit SPARC and 32-bit
# PowerPC builds, run under qemu-user (called explicitly, no binfmt hook).
cross_packages=(
    g++-i686-linux-gnu g++-sparc64-linux-gnu g++-powerpc-linux-gnu qemu-user
)
if [[ ${1:-} == --cross ]]; then
    packages+=("${cross_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
