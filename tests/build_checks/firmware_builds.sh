#!/bin/bash
# Usage: firmware_builds.sh SOURCE_DIR WORK_DIR
# Configures and builds the project the way Buildroot (pkg-cmake.mk),
# OpenWrt (include/cmake.mk) and Yocto (cmake.bbclass) do for a cross build,
# with their CMake arguments and generators; Debian's MIPS cross compiler
# stands in for theirs and an empty staging tree for their sysroot, and
# GoogleTest is out of sight. Each must configure, build morvid and
# libzuqutil.so for MIPS, and build no test. Exit 77: no cross compiler.
# shellcheck disable=SC2034 # each system's arguments are taken by name
set -u
src=$(cd "$1" && pwd) work=$2
for tool in mips-linux-gnu-gcc mips-linux-gnu-g++ ninja; do
    command -v $tool >/dev/null && continue
    echo "no $tool (Debian: g++-mips-linux-gnu, ninja-build)"
    [[ ${CI:-} == true ]] && exit 1
    exit 77
done
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
cc=$(command -v mips-linux-gnu-gcc) cxx=$(command -v mips-linux-gnu-g++)

# What each build system passes on the command line (and, for Buildroot and
# Yocto, in the toolchain file they write), where it applies without them.
cat >"$work/buildroot.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(CMAKE_C_FLAGS "-D_LARGEFILE_SOURCE -D_LARGEFILE64_SOURCE -D_FILE_OFFSET_BITS=64 -Os -g0 \${CMAKE_C_FLAGS}" CACHE STRING "Buildroot CFLAGS")
set(CMAKE_CXX_FLAGS "-D_LARGEFILE_SOURCE -D_LARGEFILE64_SOURCE -D_FILE_OFFSET_BITS=64 -Os -g0 \${CMAKE_CXX_FLAGS}" CACHE STRING "Buildroot CXXFLAGS")
set(CMAKE_INSTALL_SO_NO_EXE 0)
set(CMAKE_FIND_ROOT_PATH "$work/staging")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_C_COMPILER "$cc")
set(CMAKE_CXX_COMPILER "$cxx")
set(CMAKE_BUILD_TYPE Release CACHE STRING "Buildroot build configuration")
EOF
buildroot=(-G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$work/buildroot.cmake" -DCMAKE_INSTALL_PREFIX=/usr
    -DCMAKE_COLOR_MAKEFILE=OFF -DBUILD_DOC=OFF -DBUILD_DOCS=OFF -DBUILD_EXAMPLE=OFF -DBUILD_EXAMPLES=OFF
    -DBUILD_TEST=OFF -DBUILD_TESTS=OFF -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON)
openwrt=(-G Ninja --no-warn-unused-cli -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_VERSION=1
    -DCMAKE_SYSTEM_PROCESSOR=mips -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG
    -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_COMPILER_ARG1=
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_COMPILER_ARG1= -DCMAKE_AR="$(command -v mips-linux-gnu-gcc-ar)"
    -DCMAKE_NM="$(command -v mips-linux-gnu-gcc-nm)" -DCMAKE_RANLIB="$(command -v mips-linux-gnu-gcc-ranlib)"
    -DCMAKE_FIND_ROOT_PATH="$work/staging" -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=BOTH
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_STRIP=:
    -DCMAKE_INSTALL_PREFIX=/usr -DDL_LIBRARY="$work/staging" -DCMAKE_PREFIX_PATH="$work/staging"
    -DCMAKE_SKIP_RPATH=TRUE -DCMAKE_EXPORT_PACKAGE_REGISTRY=FALSE -DCMAKE_EXPORT_NO_PACKAGE_REGISTRY=TRUE
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=FALSE -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=TRUE
    -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=FALSE -DCMAKE_FIND_PACKAGE_NO_SYSTEM_PACKAGE_REGISTRY=TRUE)
cat >"$work/yocto.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_C_FLAGS "-meb -mabi=32 -mhard-float -O2 -pipe -g" CACHE STRING "CFLAGS")
set(CMAKE_CXX_FLAGS "-meb -mabi=32 -mhard-float -O2 -pipe -g" CACHE STRING "CXXFLAGS")
set(CMAKE_C_FLAGS_RELEASE "-DNDEBUG" CACHE STRING "CFLAGS for release")
set(CMAKE_CXX_FLAGS_RELEASE "-DNDEBUG" CACHE STRING "CXXFLAGS for release")
set(CMAKE_FIND_ROOT_PATH $work/staging)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_INSTALL_RPATH "")
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
EOF
yocto=(-G Ninja -DCMAKE_INSTALL_PREFIX:PATH=/usr -DCMAKE_INSTALL_BINDIR:PATH=bin
    -DCMAKE_INSTALL_SBINDIR:PATH=sbin -DCMAKE_INSTALL_LIBEXECDIR:PATH=libexec
    -DCMAKE_INSTALL_SYSCONFDIR:PATH=/etc -DCMAKE_INSTALL_SHAREDSTATEDIR:PATH=../com
    -DCMAKE_INSTALL_LOCALSTATEDIR:PATH=/var -DCMAKE_INSTALL_LIBDIR:PATH=lib
    -DCMAKE_INSTALL_INCLUDEDIR:PATH=include -DCMAKE_INSTALL_DATAROOTDIR:PATH=share -DLIB_SUFFIX=
    -DCMAKE_INSTALL_SO_NO_EXE=0 -DCMAKE_TOOLCHAIN_FILE:FILEPATH="$work/yocto.cmake"
    -DCMAKE_NO_SYSTEM_FROM_IMPORTED=1 -DCMAKE_EXPORT_NO_PACKAGE_REGISTRY=ON
    -DFETCHCONTENT_FULLY_DISCONNECTED=ON -DCMAKE_EXPORT_COMPILE_COMMANDS:BOOL=ON -Wno-dev)

for system in buildroot openwrt yocto; do
    declare -n args=$system
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
