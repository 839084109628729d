#!/bin/sh
# Usage: check_install.sh CMAKE BUILD_DIR READELF EXPECTED_FILE...
# Stages `cmake --install BUILD_DIR --prefix /usr` under a temporary DESTDIR
# and fails unless exactly the expected files are there, programs executable,
# and the installed morvid finds its library through the loader's default path.
cmake=$1 build=$2 readelf=$3
shift 3
stage=$(mktemp -d) || exit 1
trap 'rm -rf "$stage"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
words() { echo "$1" | tr '\n' ' '; }

DESTDIR=$stage "$cmake" --install "$build" --prefix /usr || { echo "FAIL: cmake --install"; exit 1; }

got=$(cd "$stage" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
want=$(printf '%s\n' "$@" | LC_ALL=C sort)
if [ "$got" != "$want" ]; then
    fail "staged files differ"
    echo "  staged: $(words "$got")"
    echo "  wanted: $(words "$want")"
fi
# A directory left empty is still something on the image nobody needs.
empty=$(cd "$stage" && find . -mindepth 1 -type d -empty)
[ -z "$empty" ] || fail "empty directories staged: $(words "$empty")"

for f in "$@"; do
    case $f in
    */sbin/* | */bin/*)
        if [ ! -f "$stage/$f" ] || [ ! -x "$stage/$f" ]; then
            fail "$f is not an executable file"
        fi
        ;;
    esac
done

morvid=$stage/usr/sbin/morvid
if [ -f "$morvid" ]; then
    dyn=$("$readelf" -d "$morvid") || fail "readelf $morvid"
    # The build tree's path would be searched first on the device, or leak
    # the build machine's layout into the image.
    if echo "$dyn" | grep -E '\((RPATH|RUNPATH)\)'; then
        fail "installed morvid keeps a library search path"
    fi
    echo "$dyn" | grep -q 'NEEDED.*\[libzuqutil\.so[^/]*\]' || fail "installed morvid does not need libzuqutil.so by its bare name"
fi
lib=$stage/usr/lib/libzuqutil.so
if [ -f "$lib" ]; then
    # The loader matches morvid's NEEDED entry against this name.
    "$readelf" -d "$lib" | grep -q 'SONAME.*\[libzuqutil\.so\]' || fail "libzuqutil.so has another SONAME"
fi
[ $status = 0 ] && echo "staged: $(words "$got")"
exit $status
