#!/bin/bash
# A killed boa: at the next pass every service of the kill list is killed
# by SIGKILL (killall -9, output on the console), "x" runs, and 2 s later
# boa is started with "-c /etc" from "/" after its stale pid file was
# removed, "run_boa" is printed; after the 30-s wait dnrd, killed with the
# list, is found absent and restarted in the same pass, before the pass's
# WAN step. A getdeviceinfo started after the uptime action survives until
# this restart. Only boa and dnrd come back. No zombies remain.
# Sandbox: uptime 3600 s (uptime action in the first pass), cable pulled so
# that LED 1 marks every pass.
source "$(dirname "$0")/check.sh"

KILL_LIST=(boa udhcpd upnp ripd dnrd crond syslogd ntpclient smtpclient getdeviceinfo httphijack pppd pptp bpalogin)

check "morvid has started" sb_wait_daemon_ready
await "the uptime action stops getdeviceinfo in the first pass" 15 '^reap getdeviceinfo .*signal=TERM$'
P1=$(await_led_write 1 "$T0" 3)
sb_start getdeviceinfo
await "a new getdeviceinfo starts" 3 --after "${P1:-0}" '^svc start getdeviceinfo '
G=$EV_MS

declare -A pid_of
for name in "${KILL_LIST[@]}"; do
    pid_of[$name]=$(sb_pidof "$name")
done
check "all 14 services of the kill list run" test "$(printf '%s\n' "${pid_of[@]}" | grep -c .)" -eq 14

sleep_until $((${P1:-0} + 1500))
K=$(sb_ms)
sb_kill boa KILL

await "x runs" 12 --after "$K" '^x ran '
X=$EV_MS
for name in "${KILL_LIST[@]:1}"; do
    await "$name (pid ${pid_of[$name]}) is killed by SIGKILL" 1 --after "$K" --before $((X + 1)) \
        "^reap $name pid=${pid_of[$name]} signal=KILL\$"
done
none "no service got a signal it could catch" --after "$K" '^svc signal '
await "killall -9 boa found boa already gone, and said so on the console" 1 --after "$K" --before "$X" \
    '^console boa: no process found$'
count_is "the other killall runs found their process (nothing more on the console)" 1 \
    --after "$K" --before "$X" '^console '

await "boa is started again" 5 --after "$X" '^svc start boa '
B=$EV_MS
start=$EV
between "2 s after x" $((B - X)) 1900 3000
check "with -c /etc, from / ($start)" grep -q ' cwd=/ args=-c /etc$' <<<"$start"
check "its stale pid file removed first" grep -q ' pidfile=absent ' <<<"$start"
await "run_boa is printed" 2 --after "$K" '^out run_boa$'

await "dnrd, killed with the list, is started again" 38 --after "$B" '^svc start dnrd '
D=$EV_MS
start=$EV
between "after the 30-s wait and the 1-s re-check" $((D - B)) 30900 33500
check "its stale pid file removed first ($start)" grep -q ' pidfile=absent ' <<<"$start"
await "run_dnrd is printed" 2 --after "$B" '^out run_dnrd$'
# "/bin/dnrd &" returns before dnrd has run, so the WAN step's LED write
# can come a moment before dnrd's own start line: compare with a margin.
W=$(await_led_write 1 "$((K + LED_CLOCK_SLACK))" 4)
between "the pass's WAN step waits for both restarts (LED write after the dnrd restart)" \
    $((${W:-0} - D)) -100 1000

count_is "only boa and dnrd were started again" 2 --after "$K" '^svc start '
check "the getdeviceinfo started after the uptime action lived until the restart" \
    test -n "$(sb_first --after "$G" "^reap getdeviceinfo .*signal=KILL\$")"
for name in "${KILL_LIST[@]:1}"; do
    [[ $name == dnrd ]] && continue
    check "$name stays down" test -z "$(sb_pidof "$name")"
done
check "one boa runs" test "$(sb_pidof boa | wc -l)" -eq 1
check "one dnrd runs" test "$(sb_pidof dnrd | wc -l)" -eq 1
zombies=$(lasting_zombies)
check "no zombie processes remain (${zombies:-none})" test -z "$zombies"
check "morvid still runs" sb_daemon_alive
finish
