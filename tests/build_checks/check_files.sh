#!/bin/sh
# Usage: check_files.sh [--hardened] CMAKE BUILD_DIR EXPECTED_FILE...
# Stages `cmake --install BUILD_DIR --prefix /usr --strip` as a firmware
# image would and fails unless exactly the expected files are there, the
# programs executable; morvid finding its library by the loader's default
# path; each file needing only the C library (and morvid libzuqutil.so),
# taking from them only functions known to use no heap, and the library
# exporting its ABI, no more; and, built for the device (32-bit big-endian
# MIPS), within its flash budget: morvid 8 KiB, libzuqutil.so 11 KiB.
# --hardened: built with a build system's hardening flags, whose stack
# protector and _FORTIFY_SOURCE calls (__stack_chk_*, __*_chk) are then
# allowed too, and only then; the flash budget is not held to such a build.
hardened=
[ "$1" = --hardened ] && hardened=1 && shift
cmake=$1 build=$2
shift 2
stage=$(mktemp -d) || exit 1
trap 'rm -rf "$stage"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
# shellcheck disable=SC2086 # the words of a list, one space apart
words() { echo $1; }

DESTDIR=$stage "$cmake" --install "$build" --prefix /usr --strip >/dev/null || fail "cmake --install"
got=$(cd "$stage" && find . -mindepth 1 ! -type d -o -type d -empty | sed 's|^\./||' | LC_ALL=C sort)
want=$(printf '%s\n' "$@" | LC_ALL=C sort)
[ "$got" = "$want" ] || fail "staged: $(words "$got"); wanted: $(words "$want")"

# What the C library gives here allocates nothing (standard output gets a
# buffer of morvid's own), but for what system keeps to itself.
abi="GetSysUpTime _eval g_hearbeat_is_listening getWanLinkState nvram_get setLedLight task_is_running wan_start wan_stop"
allowed=" $(printf "%s " access clock_gettime close dup2 execvp fcntl fork fstat getpid memchr memcmp memcpy \
    memset open pipe2 pread puts read sigaction sigemptyset sigfillset setvbuf sigprocmask sleep stat strcmp \
    strlen strnlen stdout strpbrk syscall system unlink waitpid write _exit "$abi") "
for f in "$@"; do
    file=$stage/$f name=${f##*/}
    [ -f "$file" ] || continue
    dyn=$(readelf -d "$file")
    needed=$(echo "$dyn" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    echo "$f needs: $(words "$needed")"
    for lib in $needed; do
        # The C library, with its loader (glibc's stack protector on MIPS
        # takes its guard from ld.so.1).
        case "$name:$lib" in *:libc.so | *:libc.so.* | *:ld.so.1 | *:ld-*.so.* | morvid:libzuqutil.so) ;;
        *) fail "$f needs $lib" ;;
        esac
    done
    for sym in $(nm -D --undefined-only "$file" | awk '{ sub(/@.*/, "", $2); print $2 }'); do
        case "$sym" in
        # What the C run-time's start and end files take.
        _ITM_* | __cxa_finalize | __gmon_start__ | __libc_start_main | __uClibc_main | __errno_location | \
            __register_frame_info | __deregister_frame_info | _Jv_RegisterClasses) continue ;;
        __stack_chk_fail | __stack_chk_guard | __*_chk) [ -n "$hardened" ] && continue ;;
        esac
        # With _FILE_OFFSET_BITS=64, glibc's large-file names (open64 ...).
        case "$allowed" in *" $sym "* | *" ${sym%64} "*) ;; *) fail "$f takes $sym" ;; esac
    done
    # The budget holds for the project's own device build; what a
    # packager's hardening adds is the packager's to weigh.
    if [ -z "$hardened" ] && [ "$(readelf -h "$file" | grep -cE 'ELF32|big endian|MIPS R3000')" = 3 ]; then
        size=$(stat -c %s "$file") budget=11264
        [ "$name" = morvid ] && budget=8192
        echo "$f: $size B stripped, budget $budget B"
        [ "$size" -le "$budget" ] || fail "$f is over its budget"
    fi
    case $name in
    morvid)
        [ -x "$file" ] || fail "$f is not executable"
        # The build tree's path would be searched first on the device.
        echo "$dyn" | grep -qE '\((RPATH|RUNPATH)\)' && fail "$f keeps a library search path" ;;
    libzuqutil.so)
        echo "$dyn" | grep -q 'SONAME.*\[libzuqutil\.so\]' || fail "$f has another SONAME"
        exported=$(nm -D --defined-only "$file" | awk '$3 !~ /^_(init|fini)$/ { print $3 }' | LC_ALL=C sort)
        [ "$(words "$exported")" = "$(words "$(words "$abi" | tr ' ' '\n' | LC_ALL=C sort)")" ] ||
            fail "$f exports $(words "$exported")" ;;
    esac
done
exit $status
