#!/bin/bash
# No interface eth0: the link reads as unknown, so the cable changes
# nothing (no WAN action, no LED) while the services are still
# supervised. When eth0 appears, the next look finds it; when it goes away
# again at run time (the kept carrier file going stale), the link is
# unknown again, and when it comes back plugged, the connection is started.
# Sandbox: uptime 1000 s, cable plugged, eth0 renamed wan0 before the
# daemon starts (no_eth0.setup).
source "$(dirname "$0")/../e2e/check.sh"

check "there is no eth0" test ! -e /sys/class/net/eth0
check "the first wait is cut short" sb_hurry_first_pass
sleep 1.5
K=$(sb_ms)
sb_kill dnrd TERM
await "dnrd is still supervised: restarted" 10 --after "$K" '^svc start dnrd '
sb_pull
sleep 6
none "no WAN action and no LED write without eth0" '^(wan|led1) '
sb_plug

# eth0 appears, the cable plugged: taken as already started at the first
# reading; a pull then stops the connection.
ip link set wan0 down && ip link set wan0 name eth0 && ip link set eth0 up && sb_note "wan0 renamed eth0"
sleep 6
none "eth0 up at the first reading: nothing to do" '^(wan|led1) '
pull=$(sb_ms)
sb_pull
await "the pulled cable sets LED 1" 10 --after "$pull" '^led1 1$'
await "... and stops the connection a pass later" 10 --after "$pull" '^wan eth0 stop$'

# eth0 removed at run time, then made again with the cable plugged.
ip link del eth0 && sb_note "eth0 removed"
gone=$(sb_ms)
sleep 6
none "without eth0 nothing happens" --after "$gone" '^(wan|led1) '
ip link add eth0 type veth peer name cable && ip link set eth0 up && ip link set cable up &&
    sb_note "eth0 made again, cable plugged"
back=$(sb_ms)
await "eth0 back and up after down: the connection is started" 10 --after "$back" '^wan eth0 start$'
await "LED 1 set to 0 (wan_proto is static)" 1 --after "$back" '^led1 0$'
check "morvid still runs" sb_daemon_alive
finish
