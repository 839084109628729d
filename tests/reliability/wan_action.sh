#!/bin/bash
# A WAN action that hangs for a while, then one that fails. The daemon
# waits for the hung stop (doing nothing else meanwhile, yet answering a
# signal at once), then goes on: a dnrd killed during the wait is
# restarted at the next pass, and the plugged cable starts the connection.
# That start fails (exit 1); the daemon takes no notice, and the next pull
# stops the connection again.
# Sandbox: uptime 1000 s, cable plugged, wan.action replaced
# (wan_action.setup): its first stop takes 8 s, every start exits 1.
source "$(dirname "$0")/../e2e/check.sh"

check "the first wait is cut short" sb_hurry_first_pass
sleep 1.5 # the first pass: the link is up, and taken as already started
pull=$(sb_ms)
sb_pull
await "the pulled cable: wan.action stop begins" 15 --after "$pull" '^wan eth0 stop$'
H=$EV_MS

sleep 1
S=$(sb_ms)
sb_sig USR1
await "a signal during the hung stop is answered at once" 1 --after "$S" "^out on_signal::recvd sig:$(kill -l USR1)\$"
sb_kill dnrd TERM
plug=$(sb_ms)
sb_plug
await "the stop ends after 8 s" 10 --after "$H" '^wan eth0 stop over$'
O=$EV_MS
between "... 8 s after it began" $((${O:-0} - ${H:-0})) 7900 9000
none "meanwhile the daemon did nothing else" --after "$((${H:-0} + 1))" --before "${O:-0}" '^(svc start|out run_|led1|wan eth0 start)'

await "then it goes on: dnrd is restarted at the next pass" 10 --after "${O:-$plug}" '^svc start dnrd '
between "... one 5-s wait and the 1-s re-check after the stop ended" $((${EV_MS:-0} - ${O:-0})) 5900 7500
await "the plugged cable: wan.action start runs" 3 --after "${O:-$plug}" '^wan eth0 start$'
await "... and fails, saying so on the console" 2 --after "${O:-$plug}" '^console wan.action: cannot start eth0$'

sleep 1
pull=$(sb_ms)
sb_pull
await "after the failed start, the next pull stops the connection again" 15 --after "$pull" '^wan eth0 stop$'
count_is "two stops and one start in all" 3 '^wan eth0 (stop|start)$'
check "morvid still runs" sb_daemon_alive
finish
