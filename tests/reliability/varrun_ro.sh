#!/bin/bash
# /var/run read-only from the start: the daemon runs without a pid file
# (the one an earlier run left stays as it was), cannot remove the stale
# pid files of the services it restarts, and restarts them all the same.
# Sandbox: uptime 1000 s, cable pulled (LED 1 marks every pass), /var/run
# remounted read-only before the daemon starts (varrun_ro.setup).
source "$(dirname "$0")/../e2e/check.sh"

check "/var/run is read-only" test -n "$( (: >/var/run/probe) 2>&1)"
check "morvid has started" sb_wait_daemon_ready
content=$(cat /var/run/morvid.pid; echo .)
check "the pid file is the one an earlier run left ($(printf %q "${content%.}"))" \
    test "${content%.}" == $'4194303\nleft by an earlier run\n'
check "the first wait is cut short" sb_hurry_first_pass
P1=$(await_led_write 1 "$T0" 5)
check "first pass seen" test -n "$P1"

old=$(sb_pidof dnrd)
sleep_until $((${P1:-0} + 500))
K=$(sb_ms)
sb_kill dnrd TERM
await "dnrd is restarted" 10 --after "$K" '^svc start dnrd '
check "... though its stale pid file could not be removed ($EV)" grep -q " pidfile=stale:$old " <<<"$EV"
new=$(sed 's/.* pid=\([0-9]*\) .*/\1/' <<<"$EV")
await "run_dnrd is printed" 2 --after "$K" '^out run_dnrd$'
P2=$(await_led_write 1 "$K" 3)

oldboa=$(sb_pidof boa)
sleep_until $((${P2:-0} + 500))
K=$(sb_ms)
sb_kill boa TERM
await "boa is restarted" 12 --after "$K" '^svc start boa '
check "... though its stale pid file could not be removed ($EV)" grep -q " pidfile=stale:$oldboa " <<<"$EV"
await "run_boa is printed" 2 --after "$K" '^out run_boa$'
sleep 1
check "the new boa runs" test -n "$(sb_pidof boa)"
check "the new dnrd ran until boa's restart killed it with the list" \
    grep -q " reap dnrd pid=$new signal=KILL\$" <(sb_events --after "$K" '^reap dnrd ')
check "the pid file is still the earlier run's" test "$(cat /var/run/morvid.pid)" == $'4194303\nleft by an earlier run'
check "morvid still runs" sb_daemon_alive
finish
