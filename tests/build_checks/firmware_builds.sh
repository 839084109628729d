#!/bin/bash
# Usage: firmware_builds.sh SOURCE_DIR WORK_DIR
# Builds each package of packaging/ the way its build system does for a
# cross build: from exactly the files the package takes from the tree, with
# the package's own CMake options and the system's arguments, toolchain
# file, environment and default flags (firmware_builds.txt). Debian's MIPS
# cross compiler stands in for theirs, a staging tree for their sysroot, and
# GoogleTest is out of sight. Each must build MIPS morvid (and libzuqutil.so,
# unless the package links the device's own) without a warning and without
# a test, and install what check_files.sh allows a hardened build.
# Exit 77: no cross compiler.
set -u
src=$(cd "$1" && pwd) work=$2
if ! command -v mips-linux-gnu-g++ ninja rsync >/dev/null; then
    echo "needs Debian's g++-mips-linux-gnu, ninja-build and rsync" && [[ ${CI:-} != true ]] && exit 77 || exit 1
fi
# GoogleTest hidden in a mount namespace of our own, where one can be made.
if [[ -z ${HIDDEN:-} ]] && unshare -rm true 2>/dev/null; then
    # shellcheck disable=SC2016 # expanded by the inner shell
    exec unshare -rm env HIDDEN=1 bash -c \
        'for d in /usr/src/googletest /usr/include/gtest /usr/lib/*/cmake/GTest; do
             [[ -d $d ]] && mount -t tmpfs none "$d"; done; exec bash "$0" "$@"' "$0" "$@"
fi

rm -rf "$work" && mkdir -p "$work/staging/usr/lib" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }
# Each system's arguments, toolchain file and environment, from firmware_builds.txt.
t=mips-linux-gnu-
sed -e "s|@WORK@|$work|g; s|@STAGING@|$work/staging|g; s|@CC@|$(command -v ${t}gcc)|g" \
    -e "s|@CXX@|$(command -v ${t}g++)|g; s|@AR@|$(command -v ${t}gcc-ar)|g; s|@NM@|$(command -v ${t}gcc-nm)|g" \
    -e "s|@RANLIB@|$(command -v ${t}gcc-ranlib)|g" "$(dirname "$0")/firmware_builds.txt" |
    awk -v dir="$work" '/^#/ { next } /^(args|toolchain|env) / { out = dir "/" $2 "." ($1 == "toolchain" ? "cmake" : $1); next }
        { print > out }'

# What each package takes from the tree, and the CMake options it adds, as
# the package itself says.
pkg=$src/packaging
stage_buildroot() { # a local site: the tree, less version control and what the package excludes
    local exclude
    read -r -a exclude < <(sed -n 's/^MORVID_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS *= *//p' "$pkg/buildroot/package/morvid/morvid.mk")
    rsync -a --exclude .git "${exclude[@]}" "$src/" "$1/"
}
# The files of the tree named on the line read, copied to DIR; none is a failure.
copy_named() {
    local files
    read -r -a files
    ((${#files[@]})) && (cd "$src" && cp -r "${files[@]}" "$1/")
}
# OpenWrt's: what Build/Prepare copies; Yocto's: the file:// entries of SRC_URI from the tree.
stage_openwrt() { sed -n 's/.*addprefix [$](MORVID_SOURCE)\/,\([^)]*\)).*/\1/p' "$pkg/openwrt/morvid/Makefile" | copy_named "$1"; }
stage_yocto() { sed -n 's|.*file://\([^;]*\);subdir=morvid.*|\1|p' "$pkg"/yocto/recipes-core/morvid/*.bb | paste -sd' ' | copy_named "$1"; }
options_buildroot() { :; }
options_openwrt() { sed -n "s|^CMAKE_OPTIONS += ||; T; s|\$(STAGING_DIR)|$work/staging|gp" "$pkg/openwrt/morvid/Makefile"; }
options_yocto() { sed -n 's/^EXTRA_OECMAKE = "\(.*\)"/\1/p' "$pkg"/yocto/recipes-core/morvid/*.bb; }

# Buildroot's first: its libzuqutil.so is the device library in staging
# that OpenWrt's package links against.
for system in buildroot openwrt yocto; do
    tree=$work/$system-src build=$work/$system
    if ! mkdir -p "$tree" || ! "stage_$system" "$tree"; then
        fail "$system: staging its files failed"
        continue
    fi
    mapfile -t args <"$work/$system.args"
    read -r -a options < <("options_$system")
    env=()
    [[ -f $work/$system.env ]] && mapfile -t env <"$work/$system.env"
    if ! env "${env[@]}" cmake -S "$tree" -B "$build" "${args[@]}" "${options[@]}" >"$build.log" 2>&1 ||
        ! cmake --build "$build" >>"$build.log" 2>&1; then
        fail "$system: configure or build failed:"
        tail -n 15 "$build.log"
        continue
    fi
    # The compiler's warnings, not CMake's word on arguments it did not use.
    grep ': warning:' "$build.log" && fail "$system: warnings"
    expected=(usr/sbin/morvid)
    [[ -e $build/devutil/libzuqutil.so ]] && expected+=(usr/lib/libzuqutil.so)
    for f in daemon/morvid devutil/libzuqutil.so; do
        [[ ! -e $build/$f && $f == devutil/* && ${options[*]} == *MORVID_DEVUTIL_LIB=?* ]] && continue
        [[ $(readelf -h "$build/$f" 2>/dev/null | grep -cE 'ELF32|big endian|MIPS R3000') == 3 ]] ||
            fail "$system: no 32-bit big-endian MIPS $f"
    done
    tests=$(find "$build" -name CTestTestfile.cmake -o -name '*gtest*' -o -name '*_tests' | head -n 3)
    [[ -z $tests ]] || fail "$system: tests were built: $tests"
    sh "$(dirname "$0")/check_files.sh" --hardened cmake "$build" "${expected[@]}" >"$build.files" ||
        { cat "$build.files" && fail "$system: installed files"; }
    [[ $system == buildroot ]] && cp "$build/devutil/libzuqutil.so" "$work/staging/usr/lib/"
    echo "$system: built from its own files and flags"
done
exit $status
