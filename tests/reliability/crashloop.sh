#!/bin/bash
# Crash-looping services: stand-ins that exit right after they start.
# A dnrd that keeps crashing is restarted at every pass, passes still come
# 5 s apart plus the 1-s re-check (no restart storm), and over many passes
# the daemon's descriptors, memory and the sandbox's processes stay as
# they were; once dnrd stops crashing, the next restart holds. A boa that
# keeps crashing is restarted at every pass too, each time with its kill
# list, x, and the 30-s wait, and again nothing piles up.
# Sandbox: uptime 1000 s, cable pulled so that LED 1 marks every pass.
source "$(dirname "$0")/../e2e/check.sh"

DNRD_PASSES=8

check "morvid has started" sb_wait_daemon_ready
P1=$(await_led_write 1 "$T0" 15)
check "first pass seen" test -n "$P1"

# Figures of the daemon and the sandbox, taken while the daemon waits.
snapshot() {
    FDS=$(sb_daemon_fds)
    RSS=$(sb_daemon_kb VmRSS)
    ANON=$(sb_daemon_kb RssAnon)
    PROCS=$(sb_processes)
}
# compare WHAT: the figures now against those of the last snapshot saved
# in the *0 variables. Private memory is held to the page: nothing in a
# pass should ever add to it once a first pass of the same kind has run.
# The resident set may also gain file pages of code read in at the
# kernel's will.
compare() {
    snapshot
    echo "$1: VmRSS $RSS0 -> $RSS kB, RssAnon $ANON0 -> $ANON kB, descriptors: $(tr '\n' ' ' <<<"$FDS")"
    check "$1: the same descriptors ($(grep -c . <<<"$FDS0") before, $(grep -c . <<<"$FDS") after)" \
        test "$FDS" == "$FDS0"
    check "$1: the same processes in the sandbox ($(grep -c . <<<"$PROCS0") before, $(grep -c . <<<"$PROCS") after$(
        diff <(echo "$PROCS0") <(echo "$PROCS") | grep '^[<>]' | tr '\n' ' ' | sed 's/^./; &/'))" \
        test "$PROCS" == "$PROCS0"
    check "$1: private memory did not grow (RssAnon $ANON0 -> $ANON kB)" test "$ANON" -le "$ANON0"
    check "$1: resident memory did not grow (VmRSS $RSS0 -> $RSS kB, allowed +32)" \
        test "$((RSS - RSS0))" -le 32
}

# ---- dnrd, crashing at every start --------------------------------------
sleep_until $((P1 + 500))
sb_crashloop dnrd 3
K=$(sb_ms)
sb_kill dnrd TERM
# The figures after the second pass are the reference: by then a restart
# and its crash have run once, with all they first bring.
P2=$(await_led_write 2 "$K" 20)
check "two passes seen with dnrd crashing" test -n "$P2"
sleep_until $((${P2:-0} + 500))
snapshot
FDS0=$FDS RSS0=$RSS ANON0=$ANON PROCS0=$PROCS
PN=$(await_led_write "$DNRD_PASSES" "$K" $((DNRD_PASSES * 8 + 10)))
check "$DNRD_PASSES passes seen with dnrd crashing" test -n "$PN"
sleep_until $((${PN:-0} + 500))
compare "after $((DNRD_PASSES - 2)) more passes of crashing dnrd"

# Pass by pass: each restarts dnrd once, and it crashes once. A pass's
# restart comes just before its LED write; the stand-in it starts runs a
# moment later, later still on a loaded machine. So each pass is counted
# from half a pass after the last LED write to half a pass after its own.
HALF=3000
sleep_until $((${PN:-0} + HALF))
prev=$K
n=0 missed=0 mingap=999999 last=
for p in $(led_writes "$K" | head -n "$DNRD_PASSES"); do
    n=$((n + 1))
    upto=$((p + HALF))
    starts=$(sb_count --after "$prev" --before "$upto" '^svc start dnrd ')
    exits=$(sb_count --after "$prev" --before "$upto" '^svc exit dnrd .* status=3$')
    said=$(sb_count --after "$prev" --before "$upto" '^out run_dnrd$')
    if ((starts != 1 || exits != 1 || said != 1)); then
        missed=$((missed + 1))
        echo "      pass $n: $starts starts, $exits crashes, $said run_dnrd"
    fi
    [[ -n $last ]] && ((p - last < mingap)) && mingap=$((p - last))
    last=$p
    prev=$upto
done
check "each of the $n passes restarted dnrd once, and it crashed once ($missed did not)" \
    test "$n" -eq "$DNRD_PASSES" -a "$missed" -eq 0
# LED 1 is written near a pass's end; the next pass comes after the 5-s
# wait and the 1-s re-check of the absent dnrd.
check "passes stayed paced by the 5-s wait and the re-check (closest: ${mingap} ms apart, at least 5800)" \
    test "$mingap" -ge 5800

# Once dnrd starts cleanly again, the next restart holds.
sb_crashloop dnrd off
C=$(sb_ms)
await "dnrd is restarted once it no longer crashes" 10 --after "$C" '^svc start dnrd '
NEW=$(sed 's/.* pid=\([0-9]*\) .*/\1/' <<<"$EV")
sleep 1
check "... and keeps running" test "$(sb_pidof dnrd)" == "$NEW"
none "... without crashing" --after "$C" '^svc exit dnrd '

# ---- boa, crashing at every start ----------------------------------------
PB=$(await_led_write 1 "$C" 10)
sleep_until $((${PB:-0} + 500))
sb_crashloop boa 4
KB=$(sb_ms)
sb_kill boa TERM
await "boa is restarted" 15 --after "$KB" '^svc start boa '
await "... and crashes" 2 --after "$KB" '^svc exit boa .* status=4$'
await "run_boa is printed" 2 --after "$KB" '^out run_boa$'
B1=$EV_MS
sleep_until $((${B1:-0} + 1000))
snapshot
FDS0=$FDS RSS0=$RSS ANON0=$ANON PROCS0=$PROCS
# dnrd, killed with the kill list, is restarted after the 30-s wait; the
# pass ends, and the next one finds boa absent again.
await "dnrd, killed with the list, is restarted after the 30-s wait" 35 --after "$B1" '^svc start dnrd '
R=${EV_MS:-$B1}
await "boa is restarted at the next pass" 15 --after "$R" '^svc start boa '
await "... crashes again" 2 --after "$R" '^svc exit boa .* status=4$'
await "run_boa is printed again" 5 --after "$R" '^out run_boa$'
B2=$EV_MS
count_is "one pass ended between the two boa restarts" 1 --after "${B1:-0}" --before "${B2:-0}" '^led1 '
count_is "x ran once per boa restart" 2 --after "$KB" '^x ran '
count_is "killall -9 boa found no boa each time" 2 --after "$KB" '^console boa: no process found$'
sleep_until $((${B2:-0} + 1000))
compare "at the same point of the next boa restart"

zombies=$(lasting_zombies)
check "no zombie processes remain (${zombies:-none})" test -z "$zombies"
check "morvid still runs" sb_daemon_alive
none "morvid never ended" '^sandbox morvid-ended '
echo "figures: $(sb_count '^svc start dnrd ') dnrd starts, $(sb_count '^svc exit dnrd ') crashes;" \
    "$(sb_count '^svc start boa ') boa starts, $(sb_count '^svc exit boa ') crashes;" \
    "$(sb_count '^led1 ') LED-marked passes"
finish
