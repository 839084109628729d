#!/bin/bash
# No killall in PATH: the kill commands cannot run, and nothing says so,
# but restarts still start the services: a killed dnrd and a killed boa
# are started again, and the services of boa's kill list, left unkilled,
# keep running.
# Sandbox: uptime 1000 s, cable pulled (LED 1 marks every pass), killall
# removed before the daemon starts (no_killall.setup).
source "$(dirname "$0")/../e2e/check.sh"

KILL_LIST=(boa udhcpd upnp ripd dnrd crond syslogd ntpclient smtpclient getdeviceinfo httphijack pppd pptp bpalogin)

check "there is no killall in the daemon's PATH" \
    test -z "$(PATH=/bin:/usr/bin:/sbin:/usr/sbin type -P killall)"
check "the first wait is cut short" sb_hurry_first_pass
P1=$(await_led_write 1 "$T0" 5)
check "first pass seen" test -n "$P1"

sleep_until $((${P1:-0} + 500))
K=$(sb_ms)
sb_kill dnrd TERM
await "dnrd is restarted" 10 --after "$K" '^svc start dnrd '
await "run_dnrd is printed" 2 --after "$K" '^out run_dnrd$'
P2=$(await_led_write 1 "$K" 3)
check "the pass ended" test -n "$P2"

declare -A pid_of
for name in "${KILL_LIST[@]}"; do
    pid_of[$name]=$(sb_pidof "$name")
done
sleep_until $((${P2:-0} + 500))
K=$(sb_ms)
sb_kill boa TERM
await "x runs" 10 --after "$K" '^x ran '
await "boa is restarted" 4 --after "$K" '^svc start boa '
await "run_boa is printed" 2 --after "$K" '^out run_boa$'
sleep 0.5
still=0
for name in "${KILL_LIST[@]:1}"; do
    [[ $(sb_pidof "$name") == "${pid_of[$name]}" ]] && still=$((still + 1))
done
check "the other 13 services of the list still run, unkilled ($still do)" test "$still" -eq 13
none "nothing was killed by SIGKILL" '^reap .*signal=KILL$'
none "nothing was written to the console" '^console '
check "morvid still runs" sb_daemon_alive
finish
