#!/bin/bash
# Usage: firmware_builds.sh SOURCE_DIR WORK_DIR
# Configures and builds the project the way Buildroot (pkg-cmake.mk),
# OpenWrt (include/cmake.mk) and Yocto (cmake.bbclass) do for a cross build,
# with their CMake arguments and generators; Debian's MIPS cross compiler
# stands in for theirs and an empty staging tree for their sysroot, and
# GoogleTest is out of sight. Each must configure, build morvid and
# libzuqutil.so for MIPS, and build no test. Exit 77: no cross compiler.
set -u
src=$(cd "$1" && pwd) work=$2
if ! command -v mips-linux-gnu-g++ ninja >/dev/null; then
    echo "needs Debian's g++-mips-linux-gnu and ninja-build" && [[ ${CI:-} != true ]] && exit 77 || exit 1
fi
# GoogleTest hidden in a mount namespace of our own, where one can be made.
if [[ -z ${HIDDEN:-} ]] && unshare -rm true 2>/dev/null; then
    # shellcheck disable=SC2016 # expanded by the inner shell
    exec unshare -rm env HIDDEN=1 bash -c \
        'for d in /usr/src/googletest /usr/include/gtest /usr/lib/*/cmake/GTest; do
             [[ -d $d ]] && mount -t tmpfs none "$d"; done; exec bash "$0" "$@"' "$0" "$@"
fi

rm -rf "$work" && mkdir -p "$work/staging" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }
# Each system's arguments and toolchain file, from firmware_builds.txt.
t=mips-linux-gnu-
sed -e "s|@WORK@|$work|g; s|@STAGING@|$work/staging|g; s|@CC@|$(command -v ${t}gcc)|g" \
    -e "s|@CXX@|$(command -v ${t}g++)|g; s|@AR@|$(command -v ${t}gcc-ar)|g; s|@NM@|$(command -v ${t}gcc-nm)|g" \
    -e "s|@RANLIB@|$(command -v ${t}gcc-ranlib)|g" "$(dirname "$0")/firmware_builds.txt" |
    awk -v dir="$work" '/^#/ { next } /^(args|toolchain) / { out = dir "/" $2 ($1 == "args" ? ".args" : ".cmake"); next }
        { print > out }'

for system in buildroot openwrt yocto; do
    mapfile -t args <"$work/$system.args"
    build=$work/$system
    if ! cmake -S "$src" -B "$build" "${args[@]}" >"$build.log" 2>&1 || ! cmake --build "$build" >>"$build.log" 2>&1; then
        fail "$system: configure or build failed:"
        tail -n 15 "$build.log"
        continue
    fi
    for f in daemon/morvid devutil/libzuqutil.so; do
        [[ $(readelf -h "$build/$f" 2>/dev/null | grep -cE 'ELF32|big endian|MIPS R3000') == 3 ]] ||
            fail "$system: no 32-bit big-endian MIPS $f"
    done
    tests=$(find "$build" -name CTestTestfile.cmake -o -name '*gtest*' -o -name '*_tests' | head -n 3)
    [[ -z $tests ]] || fail "$system: tests were built: $tests"
    echo "$system: configured and built, no test"
done
exit $status
