#!/bin/bash
# The real morvid under valgrind's memcheck (tests/reliability/memcheck),
# for a few passes with the uptime action, a boa and a dnrd restart, a
# pulled and a plugged cable and the three signals; then SIGTERM. Memcheck
# must find no error (invalid access, uninitialised value, bad system-call
# argument, leak), and the project's own code must make no heap
# allocation.
#
# "No heap allocation by the project's own code", precisely: valgrind
# records the stack of every allocation (--xtree-memory=full). A frame is
# the project's when its function is defined in morvid or libzuqutil.so,
# or its source file is one of the project's. An allocation fails the
# check when the innermost project frame of its stack made it directly
# (malloc, new ...) or through any C library function other than puts and
# system. Those two are how the daemon prints its fixed lines and runs its
# shell commands; what the C library allocates inside them (the standard
# output's buffer, once) is the library's own. Allocations with no project
# frame at all (the dynamic loader, the C library's start-up) are not the
# project's either.
# Sandbox: uptime 1790 s (the uptime action in the first pass), cable
# plugged.
source "$(dirname "$0")/../e2e/check.sh"

P=$SB_DAEMON_PID
LOG=$SANDBOX_ROOT/memcheck.$P.log
TREE=$SANDBOX_ROOT/memcheck.$P.kcg
# Valgrind catches every signal itself from the start, so the handlers
# cannot be seen in place; the first pass shows they are (the daemon sets
# them before its loop). No signal is sent before it.
await "first pass under valgrind: the uptime action stops getdeviceinfo" 30 \
    '^reap getdeviceinfo .*signal=TERM$'
check "valgrind is logging to $LOG" test -s "$LOG"
LIB=$(awk '$6 ~ /libzuqutil/ { print $6; exit }' "/proc/$P/maps")
check "libzuqutil.so is loaded ($LIB)" test -n "$LIB"
sleep 0.5
K=$(sb_ms)
sb_kill boa TERM
sb_kill dnrd TERM
sb_pull
sb_sig USR1
await "boa's restart runs x" 20 --after "$K" '^x ran '
await "boa is started" 10 --after "$K" '^svc start boa '
await "run_boa is printed" 5 --after "$K" '^out run_boa$'
# The 30-s wait after boa's restart is cut short by SIGHUP, repeated in
# case one comes before the wait has begun.
for ((i = 0; i < 35; i++)); do
    [[ -n $(sb_first --after "$K" '^svc start dnrd ') ]] && break
    sb_sig HUP
    sleep 1
done
await "dnrd is restarted" 2 --after "$K" '^svc start dnrd '
await "run_dnrd is printed" 3 --after "$K" '^out run_dnrd$'
await "the pulled cable: LED 1 set" 10 --after "$K" '^led1 1$'
sb_sig USR2
await "wan.action stop runs a pass later" 15 --after "$K" '^wan eth0 stop$'
plug=$(sb_ms)
sb_plug
await "the plugged cable: wan.action start runs" 15 --after "$plug" '^wan eth0 start$'
await "LED 1 set to 0" 2 --after "$plug" '^led1 0$'
count_is "SIGUSR1 was logged" 1 "^out on_signal::recvd sig:$(kill -l USR1)\$"
count_is "SIGUSR2 was logged" 1 "^out on_signal::recvd sig:$(kill -l USR2)\$"
nhup=$(sb_count "^out on_signal::recvd sig:$(kill -l HUP)\$")
check "SIGHUP was logged ($nhup times)" test "$nhup" -ge 1

S=$(sb_ms)
kill -TERM "$P"
await "SIGTERM ends it" 60 --after "$S" '^sandbox morvid-ended .*signal=TERM$'
for ((i = 0; i < 100; i++)); do
    grep -q 'ERROR SUMMARY:' "$LOG" 2>/dev/null && break
    sleep 0.1
done
echo "--- valgrind's log ---"
cat "$LOG"
echo "---"
check "valgrind saw it end by SIGTERM" grep -q 'Process terminating with default action of signal 15' "$LOG"
check "memcheck found no error" grep -q 'ERROR SUMMARY: 0 errors from 0 contexts' "$LOG"
check "nothing was leaked" grep -Eq 'definitely lost: 0 bytes|All heap blocks were freed' "$LOG"
check "the allocation tree was written" test -s "$TREE"

# The functions of the project's binaries, without parameter lists (as an
# inlined frame is named).
proj_names=$(for f in "$DAEMON" "$LIB"; do nm -C --defined-only "$f"; done |
    awk '$2 ~ /^[tTwW]$/ { $1 = $2 = ""; name = substr($0, 3); sub(/\(.*/, "", name); print name }' | sort -u)
check "the project's functions are known ($(grep -c . <<<"$proj_names") names)" grep -qx poll_loop <<<"$proj_names"

# The tree is in callgrind's format: "fl=" and "fn=" name the file and the
# function whose costs follow, "cfi="/"cfl=" and "cfn=" the callee of the
# "calls=" line that comes next, whose cost line is all that was allocated
# under that call; other cost lines are the function's own. Names are
# given once with their number, "(N) name", then by number alone. The
# fifth field of a cost line is the number of blocks allocated (totBk).
verdict=$(awk -v names="$proj_names" -v repo="$REPO" '
    BEGIN {
        n = split(names, list, "\n")
        for (i = 1; i <= n; i++) project_name[list[i]] = 1
    }
    function named(text, table,    id, rest) {
        if (match(text, /^\([0-9]+\)/)) {
            id = substr(text, 2, RLENGTH - 2)
            rest = substr(text, RLENGTH + 1)
            sub(/^ /, "", rest)
            if (rest != "") table[id] = rest
            return table[id]
        }
        return text
    }
    function ours(fn, file,    base) {
        base = fn
        sub(/\(.*/, "", base)
        if (base in project_name) return 1
        return file ~ ("^" repo "/(daemon|services|wan|devutil)/")
    }
    /^fl=/ { file = named(substr($0, 4), files); callee_file = file; next }
    /^(fi|fe)=/ { named(substr($0, 4), files); next }
    /^fn=/ { fn = named(substr($0, 4), fns); fn_file = file; callee_file = file; next }
    /^(cfi|cfl)=/ { callee_file = named(substr($0, 5), files); next }
    /^cfn=/ { callee = named(substr($0, 5), fns); next }
    /^calls=/ { in_call = 1; next }
    /^[0-9+*-]/ {
        blocks = $5 + 0
        if (in_call) {
            if (blocks > 0 && ours(fn, fn_file) && !ours(callee, callee_file)) {
                if (callee ~ /^(_IO_)?puts$|^(__libc_)?system$/) allowed[fn " -> " callee] += blocks
                else bad[fn " -> " callee] += blocks
            }
        } else if (blocks > 0 && ours(fn, fn_file)) {
            bad[fn " (itself)"] += blocks
        }
        in_call = 0
        callee_file = file
        next
    }
    END {
        for (k in allowed) printf "allowed %d blocks: %s\n", allowed[k], k
        for (k in bad) printf "BAD %d blocks: %s\n", bad[k], k
    }' "$TREE")
echo "$verdict"
check "the C library's own allocation under the project's puts is seen (the tree names the project's frames)" \
    grep -q '^allowed .* -> \(_IO_\)\?puts$' <<<"$verdict"
check "no heap allocation made by the project's own code" test -z "$(grep '^BAD' <<<"$verdict")"

echo "figures: $(grep -o 'total heap usage: .*' "$LOG"); $nhup SIGHUP, $(sb_count '^out run_') restarts," \
    "$(sb_count '^wan ') WAN actions"
finish
