#!/bin/sh
# Usage: check_needed.sh FILE...
# Fails when a file needs a shared library other than the C library (and
# libzuqutil for morvid), takes from them a function not known to use no
# heap, or when the library exports more than its ABI.
status=0
# What the C library gives here allocates nothing, but for the stream
# buffer puts takes once and what system keeps to itself; toolchain names
# (_...) aside. So neither file ever needs the heap.
allowed="access clock_gettime close dup2 execvp fcntl fork getpid memchr memcmp memcpy memset open
    pread puts read sigaction sigemptyset sigprocmask sleep stat strcmp strlen strnlen strpbrk
    syscall system unlink waitpid write _exit _eval GetSysUpTime getWanLinkState nvram_get
    setLedLight task_is_running wan_start wan_stop g_hearbeat_is_listening"
allowed=" $(echo $allowed) "
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
    for sym in $(nm -D --undefined-only "$file" | awk '{ sub(/@.*/, "", $2); print $2 }'); do
        case "$sym" in _eval | _exit) ;; _*) continue ;; esac
        case "$allowed" in *" $sym "*) ;; *) echo "  takes $sym"; status=1 ;; esac
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
