#!/bin/bash
# /dev/console cannot be opened: the commands whose output goes there run
# all the same (their output is dropped), and the daemon goes on: killall
# runs and dnrd is restarted; a pulled cable stops the WAN connection and
# a plugged one starts it, the action running each time.
# Sandbox: uptime 1000 s, cable plugged, /dev/console read-only and killall
# logged (console.setup).
source "$(dirname "$0")/../e2e/check.sh"

check "/dev/console cannot be opened for writing" test -n "$( (: >>/dev/console) 2>&1)"
check "the first wait is cut short" sb_hurry_first_pass
sleep 1.5 # the first pass: the link is up, and taken as already started

K=$(sb_ms)
sb_kill dnrd TERM
sb_pull
await "killall -9 dnrd runs" 10 --after "$K" '^killall begin .* args=-9 dnrd$'
await "... to its end" 2 --after "$K" '^killall end '
await "dnrd is restarted" 2 --after "$K" '^svc start dnrd '
await "run_dnrd is printed" 2 --after "$K" '^out run_dnrd$'
await "the pulled cable: LED 1 set" 5 --after "$K" '^led1 1$'
await "wan.action stop runs, a pass later" 10 --after "$EV_MS" '^wan eth0 stop$'
PL=$(sb_ms)
sb_plug
await "the plugged cable: wan.action start runs" 10 --after "$PL" '^wan eth0 start$'
await "LED 1 set to 0 (wan_proto is static)" 2 --after "$PL" '^led1 0$'
none "nothing reached the console" '^console '
check "morvid still runs" sb_daemon_alive
finish
