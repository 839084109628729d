#!/bin/bash
# A killed dnrd: found absent twice, one second apart, at the next pass; its
# stale pid file is removed before the new one starts, killall -9 dnrd runs
# with its output on the console, "/bin/dnrd &" starts it again and
# "run_dnrd" is printed. boa and the other services are left alone. A dnrd
# whose pid file is gone too is restarted all the same. No zombies remain.
# Sandbox: uptime 1000 s, cable pulled so that LED 1 marks every pass.
source "$(dirname "$0")/check.sh"

check "morvid has started" sb_wait_daemon_ready
P1=$(await_led_write 1 "$T0" 15)
check "first pass seen" test -n "$P1"
old=$(sb_pidof dnrd)
boa=$(sb_pidof boa)

sleep_until $((${P1:-0} + 1000))
K=$(sb_ms)
sb_kill dnrd KILL
sleep 0.2
check "the killed dnrd left its pid file behind" test "$(cat /var/run/dnrd.pid 2>&1)" == "$old"

await "dnrd is started again" 10 --after "$K" '^svc start dnrd '
R=$EV_MS
start=$EV
check "its stale pid file was removed before it started ($start)" grep -q ' pidfile=absent ' <<<"$start"
check "it was started from / with no arguments" grep -q ' cwd=/ args=$' <<<"$start"
P2=$(await_led_write 1 "$K" 3)
between "the pass that restarts it comes 5 s after the last, plus the 1-s re-check" $((${P2:-0} - P1)) 5900 7000
between "restarted in that pass, after the re-check and before its WAN step" $((${P2:-0} - R)) -$LED_CLOCK_SLACK 300
await "run_dnrd is printed" 2 --after "$K" '^out run_dnrd$'
await "killall -9 dnrd ran, its output on the console" 2 --after "$K" '^console dnrd: no process found$'
new=$(sed 's/.* pid=\([0-9]*\) .*/\1/' <<<"$start")
check "one dnrd runs, the new one" test "$(sb_pidof dnrd)" == "$new"
check "its pid file holds its pid" test "$(cat /var/run/dnrd.pid 2>&1)" == "$new"
check "boa still runs with the same pid" test "$(sb_pidof boa)" == "$boa"
count_is "nothing but the killed dnrd has ended" 1 --after "$K" '^reap '
none "no service was signalled" --after "$K" '^svc signal '

# Once more, with the pid file gone as well.
sleep_until $((${P2:-0} + 1000))
K=$(sb_ms)
sb_kill dnrd KILL
rm -f /var/run/dnrd.pid
await "a dnrd without a pid file is restarted too" 10 --after "$K" '^svc start dnrd '
count_is "run_dnrd printed once per restart" 2 '^out run_dnrd$'

zombies=$(lasting_zombies)
check "no zombie processes remain (${zombies:-none})" test -z "$zombies"
check "morvid still runs" sb_daemon_alive
finish
