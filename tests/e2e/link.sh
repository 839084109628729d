#!/bin/bash
# The WAN link through a real veth: no action on a link already up at the
# first reading; a flap shorter than the 2-s re-read does nothing; a pulled
# cable sets LED 1 to 1 in the first pass that sees it (after the re-read)
# and stops the WAN connection one pass later; the cable plugged back
# starts it, LED 1 set to 0 first ("wan_proto" is "static"); a cable
# plugged back before the loss was confirmed starts the WAN without it
# ever having been stopped.
# Sandbox: uptime 1000 s, cable plugged, wan_proto=static.
source "$(dirname "$0")/check.sh"

check "morvid has started" sb_wait_daemon_ready
sleep_until $((T0 + 11000))
none "link up at the first reading: no LED write, no WAN action" '^(led1|wan) '

# A flap: SIGUSR1 makes the daemon's next pass read the link at once, while
# the cable is out; it is back before the re-read 2 s later.
sb_pull
F=$(sb_ms)
sb_sig USR1
await "the hurried pass comes (SIGUSR1 logged)" 1 --after "$F" "^out on_signal::recvd sig:$(kill -l USR1)\$"
sleep 0.8
sb_plug
sleep_until $((F + 8500))
none "a flap shorter than the re-read: no LED write, no WAN action" --after $((F - LED_CLOCK_SLACK)) '^(led1|wan) '

# The cable pulled for good.
sb_pull
L=$(sb_ms)
await "LED 1 set to 1 after the cable is pulled" 10 --after "$L" '^led1 1$'
L1=$EV_MS
between "in the first pass that reads it down, after the 2-s re-read" $((L1 - L)) 1900 7500
await "the WAN is stopped" 9 --after "$L" '^wan eth0 stop$'
W=$EV_MS
between "one pass later" $((W - L1)) 4900 6500
count_is "LED 1 set to 1 again in that pass, before the stop" 1 \
    --after $((L1 + LED_CLOCK_SLACK)) --before $((W + 1)) '^led1 1$'
count_is "the WAN was stopped once" 1 '^wan '
check "LED 1 reads 1" test "$(cat "$SANDBOX_ROOT/led1")" == 1

# Plugged back.
sleep 1
sb_plug
Q=$(sb_ms)
await "the WAN is started at the next pass" 7 --after "$Q" '^wan eth0 start$'
S=$EV_MS
count_is "LED 1 set to 0 before that (wan_proto static)" 1 --after "$Q" --before $((S + 1)) '^led1 0$'
check "LED 1 reads 0" test "$(cat "$SANDBOX_ROOT/led1")" == 0

# Pulled, and plugged back as soon as the loss has been seen once.
sleep 1
sb_pull
L=$(sb_ms)
await "LED 1 set to 1 when the loss is seen once" 10 --after "$L" '^led1 1$'
sb_plug
Q=$(sb_ms)
await "the WAN is started at the next pass" 7 --after "$Q" '^wan eth0 start$'
S=$EV_MS
none "although it was never stopped" --after "$L" '^wan eth0 stop$'
count_is "LED 1 set to 0 before the start" 1 --after "$Q" --before $((S + 1)) '^led1 0$'
count_is "WAN actions in all: stop, start, start" 3 '^wan '
finish
