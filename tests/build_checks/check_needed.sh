#!/bin/sh
# Usage: check_needed.sh FILE...
# Fails when a file needs a shared library other than the C library (and
# libzuqutil for morvid), or when the library exports more than its ABI.
status=0
for file in "$@"; do
    needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    echo "$file needs: $(echo $needed)"
    for lib in $needed; do
        case "$lib" in
        libc.so.*) ;;
        libzuqutil.so*) [ "$(basename "$file")" = morvid ] || { echo "  unexpected: $lib"; status=1; } ;;
        *) echo "  unexpected: $lib"; status=1 ;;
        esac
    done
    case "$(basename "$file")" in
    libzuqutil.so*)
        exported=$(nm -D --defined-only "$file" | awk '{print $3}' | sort | tr '\n' ' ')
        want="GetSysUpTime _eval g_hearbeat_is_listening getWanLinkState nvram_get setLedLight task_is_running wan_start wan_stop "
        want=$(echo $want | tr ' ' '\n' | sort | tr '\n' ' ')
        if [ "$exported" != "$want" ]; then
            echo "  exports: $exported"
            echo "  wanted:  $want"
            status=1
        fi
        ;;
    esac
done
exit $status
