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

"$cmake" -S "$source" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
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
if "$cmake" --build "$work" --target help | grep -qE '^(secnative_jni|cipher_natives_test|secnative_java):|libsecnative'; then
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
