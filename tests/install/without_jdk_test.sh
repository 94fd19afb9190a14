#!/usr/bin/env bash
# Configures the project as on a machine without a JDK and builds the tool
# and a test suite of the portable cores: the configure step must say what
# it leaves out, and nothing that needs jni.h may be built.
#
#   without_jdk_test.sh SOURCE_DIR CMAKE CXX
set -uo pipefail
source=$(realpath "$1")
cmake=$2
cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Unoptimised: what is checked is which targets exist and that they build and
# link without jni.h, not the code, which the main build has compiled already.
"$cmake" -S "$source" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_DISABLE_FIND_PACKAGE_JNI=ON -DCMAKE_DISABLE_FIND_PACKAGE_Java=ON \
    -DSECNATIVE_TESTS=ON >"$work/configure.log" 2>&1 || {
    cat "$work/configure.log"
    echo "FAIL: configuring without a JDK"
    exit 1
}
grep -q "No JDK found" "$work/configure.log" || {
    echo "FAIL: the configure step does not say that the JNI parts are left out"
    exit 1
}
# The whole listing is read before it is searched: a search that stops at its
# first match would leave the writer to die of SIGPIPE, and pipefail would
# then report the defined target as absent.
targets=$("$cmake" --build "$work" --target help) || {
    echo "FAIL: listing the targets"
    exit 1
}
if grep -qE '^(secnative_jni|secnative_(cipher|login)_natives|cipher_natives_test|secnative_java):|libsecnative\.so' <<<"$targets"; then
    echo "FAIL: a target that needs a JDK is defined"
    exit 1
fi
"$cmake" --build "$work" -j2 --target secnative_tool login_test >"$work/build.log" 2>&1 || {
    tail -40 "$work/build.log"
    echo "FAIL: building the tool and the login tests without a JDK"
    exit 1
}
"$work/tools/secnative" --version && "$work/tests/login/login_test" --gtest_brief=1 || exit 1
echo "the cores, the tool and their tests build without a JDK"
