#!/bin/bash
# LED 1 is set to 0 on link up only when "wan_proto" is exactly "static":
# with "dhcp", and with a value that only begins with "static", the WAN is
# started and LED 1 left at 1. The setting is read afresh each time.
# Sandbox: uptime 1000 s, cable pulled from the start, wan_proto=dhcp.
source "$(dirname "$0")/check.sh"

check "morvid has started" sb_wait_daemon_ready
P1=$(await_led_write 1 "$T0" 15)
check "LED 1 set to 1 at the first pass, the link being down" test -n "$P1"
none "no WAN action at the first reading" '^wan '

sleep_until $((${P1:-0} + 1000))
sb_plug
Q=$(sb_ms)
await "dhcp: the WAN is started when the cable is plugged" 7 --after "$Q" '^wan eth0 start$'
sleep 1
none "dhcp: LED 1 is not set to 0" --after "$Q" '^led1 0$'
check "dhcp: LED 1 still reads 1" test "$(cat "$SANDBOX_ROOT/led1")" == 1

sb_nvram wan_proto static2
sb_pull
L=$(sb_ms)
await "LED 1 set to 1 when the cable is pulled again" 10 --after "$L" '^led1 1$'
await "the WAN is stopped" 9 --after "$L" '^wan eth0 stop$'
sleep 0.5
sb_plug
Q=$(sb_ms)
await "\"static2\": the WAN is started" 7 --after "$Q" '^wan eth0 start$'
sleep 1
none "\"static2\": LED 1 is not set to 0" --after "$Q" '^led1 0$'
check "\"static2\": LED 1 still reads 1" test "$(cat "$SANDBOX_ROOT/led1")" == 1
finish
