#!/bin/bash
# LED 1's file cannot be written: the link is handled all the same (a
# pulled cable stops the WAN connection, a plugged one starts it) and the
# services are supervised; once the file can be written again, the next
# down reading sets LED 1.
# Sandbox: uptime 1000 s, cable plugged, the LED file on a read-only mount
# (led.setup).
source "$(dirname "$0")/../e2e/check.sh"

check "the LED file cannot be written" test -n "$( (: >>"$SANDBOX_ROOT/led1") 2>&1)"
check "the first wait is cut short" sb_hurry_first_pass
sleep 1.5 # the first pass: the link is up, and taken as already started

pull=$(sb_ms)
sb_kill dnrd TERM
sb_pull
await "dnrd is restarted" 10 --after "$pull" '^svc start dnrd '
await "the pulled cable stops the connection" 15 --after "$pull" '^wan eth0 stop$'
plug=$(sb_ms)
sb_plug
await "the plugged cable starts it" 10 --after "$plug" '^wan eth0 start$'
count_is "one stop, one start" 2 --after "$pull" '^wan '
none "LED 1 was never written" '^led1 '

umount "$SANDBOX_ROOT/led1" && sb_note "LED file writable again"
pull=$(sb_ms)
sb_pull
await "with the file writable again, the next down reading sets LED 1" 10 --after "$pull" '^led1 1$'
check "morvid still runs" sb_daemon_alive
finish
