#!/usr/bin/env bash
# Installs a build into a temporary prefix, checks what lands there, builds
# a small consumer program against the installed package with find_package
# and with pkg-config and runs both, then makes the Debian package and checks
# its contents.
#
#   install_test.sh BUILD_DIR SOURCE_DIR CMAKE CPACK CXX
set -uo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
cmake=$3
cpack=$4
cxx=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"
    exit 1
}
libdir=$(dirname "$(find "$prefix" -name 'libsecnative.so' -print -quit)")
[[ -d $libdir ]] || fail "no libsecnative.so installed"
for file in bin/secnative include/secnative/xml/xml_parser.h include/secnative/crypto/sha1.h \
    include/secnative/login/password.h include/secnative/common/export.h share/java/secnative.jar; do
    [[ -e $prefix/$file ]] || fail "$file was not installed"
done
[[ -e $libdir/cmake/secnative/secnativeConfig.cmake ]] || fail "no CMake package configuration"
[[ -e $libdir/pkgconfig/secnative.pc ]] || fail "no pkg-config file"
# Only the public headers: nothing that needs the JNI headers or is internal.
for file in cipher/cipher_stream.h jni/jni_support.h cipher/com_ardex_security_VXCipher.h; do
    [[ ! -e $prefix/include/secnative/$file ]] || fail "$file is installed"
done
# Outputs are taken whole before they are searched: under pipefail a search
# that stops at its first match can kill the writer with SIGPIPE and fail a
# pipeline whose output was right.
version=$("$prefix/bin/secnative" --version) && [[ $version == "secnative "* ]] ||
    fail "the installed tool does not run"

expected=$(printf '%s\n' a9993e364706816aba3e25717850c26c9cd0d89d \
    '*14E65567ABDB5135D0CFD9A70B3032C179A49EE7' \
    "<list><item id='1'>one</item><item>two</item></list>")
expected=${expected//\'/\"}

# find_package, with Ninja as everywhere in the build (make need not be
# installed)
"$cmake" -S "$source/tests/install/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" >"$work/consumer.log" 2>&1 &&
    "$cmake" --build "$work/consumer" >>"$work/consumer.log" 2>&1 ||
    {
        cat "$work/consumer.log"
        fail "building the consumer with find_package"
    }
[[ $("$work/consumer/consumer") == "$expected" ]] || fail "the find_package consumer printed: $("$work/consumer/consumer")"

# pkg-config
export PKG_CONFIG_PATH=$libdir/pkgconfig
if flags=$(pkg-config --cflags --libs secnative); then
    # shellcheck disable=SC2086
    "$cxx" -std=c++17 "$source/tests/install/consumer/consumer.cpp" $flags -o "$work/consumer-pc" ||
        fail "building the consumer with pkg-config"
    [[ $(LD_LIBRARY_PATH=$libdir "$work/consumer-pc") == "$expected" ]] ||
        fail "the pkg-config consumer printed the wrong lines"
    [[ $(pkg-config --modversion secnative) == "$(basename "$(realpath "$libdir/libsecnative.so")" | sed 's/libsecnative.so.//')" ]] ||
        fail "pkg-config version $(pkg-config --modversion secnative) does not match the library"
else
    fail "pkg-config does not find secnative"
fi

# The Debian package
if command -v dpkg-deb >/dev/null; then
    (cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1) ||
        {
            cat "$work/cpack.log"
            fail "cpack"
        }
    deb=$(find "$work/package" -maxdepth 1 -name '*.deb' -print -quit)
    if [[ -n $deb ]]; then
        contents=$(dpkg-deb -c "$deb")
        for file in bin/secnative lib/libsecnative.so include/secnative/xml/xml_parser.h \
            share/java/secnative.jar lib/pkgconfig/secnative.pc lib/cmake/secnative/secnativeConfig.cmake; do
            grep -q "/usr/$file" <<<"$contents" || fail "the package lacks /usr/$file"
        done
        fields=$(dpkg-deb -f "$deb" Package Version Depends) || fail "reading the package fields"
        grep -qx 'Package: secnative' <<<"$fields" || fail "package fields: $fields"
    else
        fail "cpack made no .deb"
    fi
fi

if ((failures)); then
    echo "$failures failures" >&2
    exit 1
fi
echo "install, consumers and package checked"
