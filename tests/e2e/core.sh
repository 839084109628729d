#!/bin/bash
# Start-up, pacing and signals of the real daemon: the pid file, the first
# pass 10 s after start and later ones 5 s apart, the uptime action of a
# daemon started past 1800 s, a pass hurried by SIGUSR1, the signal lines
# with this platform's numbers and the heartbeat flag they switch, SIGHUP
# survived, SIGTERM ending it.
# Sandbox: uptime 3600 s, cable pulled from the start, so that LED 1 is
# written at the end of every pass and shows when passes happen.
source "$(dirname "$0")/check.sh"

check "morvid catches SIGUSR1, SIGUSR2 and SIGHUP once started" sb_wait_daemon_ready
ignored=$(awk '$1 == "SigIgn:" { print $2 }' "/proc/$SB_DAEMON_PID/status")
check "morvid ignores SIGCHLD" test $(((16#$ignored >> ($(kill -l CHLD) - 1)) & 1)) -eq 1

# The sandbox left two lines of an earlier run in the pid file.
content=$(cat /var/run/morvid.pid; echo .)
content=${content%.}
check "/var/run/morvid.pid holds exactly the daemon's pid and a newline (was: $(printf %q "$content"))" \
    test "$content" == "$SB_DAEMON_PID"$'\n'

# First pass: uptime action and the first link reading.
await "first pass: LED 1 set to 1 (link down at the first reading)" 15 '^led1 1$'
P1=$EV_MS
between "the first pass comes 10 s after start" $((P1 - T0)) 9950 11500
await "getdeviceinfo is sent SIGTERM (started past uptime 1800)" 1 '^svc signal getdeviceinfo .*sig=TERM'
between "... in the first pass" $((EV_MS - T0)) 9950 11500
await "getdeviceinfo ends by that SIGTERM" 2 '^reap getdeviceinfo .*signal=TERM$'

# Later passes, 5 s apart while nothing else happens.
P3=$(await_led_write 3 "$T0" 15)
P2=$(led_writes "$T0" | sed -n 2p)
between "second pass 5 s after the first" $((P2 - P1)) 4950 5800
between "third pass 5 s after the second" $((P3 - P2)) 4950 5800
none "no WAN action while the link has been down since start (nothing was started)" '^wan '
count_is "the uptime action fired once" 1 '^svc signal getdeviceinfo '

# A handled signal during the 5-s wait ends it: the next pass comes at once.
sleep_until $((P3 + 1500))
S=$(sb_ms)
sb_sig USR1
await "SIGUSR1 logged as on_signal::recvd sig:$(kill -l USR1)" 2 --after "$S" "^out on_signal::recvd sig:$(kill -l USR1)\$"
P4=$(await_led_write 1 "$((S - LED_CLOCK_SLACK))" 3)
between "SIGUSR1 1.5 s into the wait starts the next pass at once" $((${P4:-999999} - S)) -$LED_CLOCK_SLACK 900
check "SIGUSR1 sets the heartbeat flag to 1" test "$(heartbeat_flag)" == 1

sleep 0.5
S=$(sb_ms)
sb_sig USR1
await "a second SIGUSR1 is logged again" 2 --after "$S" "^out on_signal::recvd sig:$(kill -l USR1)\$"
check "the flag stays 1" test "$(heartbeat_flag)" == 1

sleep 0.5
S=$(sb_ms)
sb_sig USR2
await "SIGUSR2 logged as on_signal::recvd sig:$(kill -l USR2)" 2 --after "$S" "^out on_signal::recvd sig:$(kill -l USR2)\$"
check "SIGUSR2 sets the heartbeat flag to 0" test "$(heartbeat_flag)" == 0

sleep 0.5
S=$(sb_ms)
sb_sig HUP
await "SIGHUP logged as on_signal::recvd sig:$(kill -l HUP)" 2 --after "$S" "^out on_signal::recvd sig:$(kill -l HUP)\$"
sleep 1
check "morvid is still running after SIGHUP" sb_daemon_alive
check "SIGHUP leaves the flag at 0" test "$(heartbeat_flag)" == 0
await "and goes on with its passes" 7 --after "$((S + 1000))" '^led1 1$'
got=$(sb_events '^out on_signal::recvd sig:' | sed 's/.*sig://' | tr '\n' ' ')
check "one line per signal, in order (got: $got)" \
    test "$got" == "$(kill -l USR1) $(kill -l USR1) $(kill -l USR2) $(kill -l HUP) "

# SIGTERM keeps its default action: the daemon ends at once, leaving its pid
# file behind.
S=$(sb_ms)
sb_sig TERM
await "SIGTERM ends morvid" 3 --after "$S" '^sandbox morvid-ended .*signal=TERM$'
check "its pid file is left in place, with its pid" test "$(cat /var/run/morvid.pid 2>&1)" == "$SB_DAEMON_PID"
none "no line logged for SIGTERM" --after "$S" '^out '
finish
