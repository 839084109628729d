#!/bin/bash
# The tour: each of the daemon's behaviours caused once and awaited in the live timeline, in
# sandbox/lib.sh's actions, done in namespaces by sandbox/run and on the emulated router by
# router/run. A world declares WORLD (its name), CABLE (at morvid's start), WORLD_RESPAWN (1: init
# starts morvid again) and sb_in CMD (its output, lines ended by "/"). Status 0: all was seen.
set -u
export LC_ALL=C
# shellcheck source=sandbox/lib.sh
declare -F sb_see >/dev/null || source "$SB/lib.sh"
tour_missed=$SB_MISSED

echo "morvid (pid $SB_DAEMON_PID) runs in ${WORLD:-a sandbox}: WAN cable $CABLE, wan_proto $PROTO."
echo "Its services, started before it: $(sb_events '^svc start ' |
    awk '{ split($5, p, "="); printf "%s%s %s", sep, $4, p[2]; sep = ", " }')."
echo "Timeline (t+ seconds since morvid started):"
"$REPO/sandbox/timeline" --follow --t0 "$(sb_t0)" "$SB/events" &
tour_follower=$!

sb_holds "morvid set up its signal handlers" sb_wait_daemon_ready
# The cable out from the start: LED 1 set in the first pass; then plugged.
if [[ $CABLE == pulled ]]; then
    sb_see '^led1 1$' 20 "LED 1 set to 1 in the first pass, the cable out since the start"
    plug
    sb_see '^led1 0$' 12 "LED 1 set to 0 when the cable came in"
    sb_see '^wan eth0 start$' 2 "WAN started after that"
fi

# 1. The uptime action, once, in the first pass from uptime 1800 on.
up0=$(sb_first '^sandbox morvid-started ' | awk '{ split($5, u, "="); print int(u[2]) }')
due=$((1800 - up0 < 10 ? 10 : 1800 - up0))
if ((due <= 60)); then
    sb_note "waiting for the uptime to pass 1800 s (in about $due s)"
    sb_see '^reap getdeviceinfo .* signal=TERM$' $((due + 8)) "getdeviceinfo stopped once uptime passed 1800"
    start-service getdeviceinfo
else
    sb_note "uptime action not due within this tour (started at uptime $up0 s)"
    sleep 11
fi
sleep 1
# Looked at after the first pass: a daemon under an emulator starts slowly.
sb_holds "/var/run/morvid.pid holds morvid's pid and a newline" \
    test "$(sb_in 'cat /var/run/morvid.pid')" == "$SB_DAEMON_PID/"

# 2. Cable pulled: LED 1 on in the next pass, WAN stopped one pass later.
pull
sb_see '^led1 1$' 12 "LED 1 set to 1 after the cable was pulled"
sb_see '^wan eth0 stop$' 10 "WAN stopped one pass later"

# 3. A handled signal cuts the wait short: the next pass comes at once.
sleep 1
sig USR1
sent=$SB_MARK
sb_see "^out on_signal::recvd sig:$(sb_signum USR1)\$" 3 "SIGUSR1 logged"
SB_MARK=$sent # the line and the LED write are seen by different watchers
sb_see '^led1 1$' 3 "the next pass at once after SIGUSR1"

# 4. Cable back: LED 1 off (wan_proto is "static"), then the WAN started.
sleep 1
plug
sb_see '^led1 0$' 12 "LED 1 set to 0 when the cable came back"
sb_see '^wan eth0 start$' 2 "WAN started after that"

# 5. dnrd killed: restarted at the next pass, its stale pid file removed first.
sleep 1
kill-service dnrd
sb_see '^reap dnrd .* signal=KILL$' 3 "dnrd killed"
sb_see '^console (killall: )?dnrd: no process (found|killed)$' 10 "killall -9 dnrd said so on the console"
sb_see '^svc start dnrd .* pidfile=absent ' 3 "dnrd restarted, its pid file removed first"
sb_soon '^out run_dnrd$' "run_dnrd printed"

# 6. boa killed: the kill list by SIGKILL, "x", boa again, 30 s later dnrd.
sleep 1
kill-service boa
killed=$SB_MARK
for name in "${SB_SERVICES[@]:1}"; do
    SB_MARK=$killed
    sb_see "^reap $name .* signal=KILL\$" 12 "$name killed by SIGKILL"
done
SB_MARK=$killed
sb_see '^x ran ' 3 "x run after the kill list"
sb_see '^svc start boa .* pidfile=absent cwd=/ args=-c /etc$' 4 "boa restarted with -c /etc from /"
sb_soon '^out run_boa$' "run_boa printed"
sb_note "morvid now waits 30 s before checking dnrd, killed with the rest of the list"
sb_see '^svc start dnrd ' 40 "dnrd restarted after the boa restart"
sb_soon '^out run_dnrd$' "run_dnrd printed"
sb_holds "only boa and dnrd started again" test "$(sb_count --past "$killed" '^svc start ')" -eq 2

# 7. Signals: each logged with the target's numbers.
for s in USR1 USR2 HUP; do
    sleep 1
    sig "$s"
    sb_see "^out on_signal::recvd sig:$(sb_signum "$s")\$" 3 "SIG$s logged"
done

# 8. SIGTERM keeps its default action: morvid ends, no zombie, its pid file left (or a new one's).
sleep 1
if declare -F world_figures >/dev/null; then world_figures; fi
zombies=$(sb_in "cat /proc/[0-9]*/stat 2>/dev/null | grep -c ') Z '")
sb_holds "no zombie processes (${zombies%/})" test "$zombies" == 0/
pid=$SB_DAEMON_PID
sig TERM
sb_see "^sandbox morvid-ended pid=$pid .*signal=TERM\$" 5 "morvid ended by SIGTERM"
if ((${WORLD_RESPAWN:-0})); then
    sb_see '^sandbox morvid-started ' 5 "morvid started again by init"
    SB_DAEMON_PID=$(sb_events '^sandbox morvid-started ' | tail -n 1 | sed 's/.* pid=\([0-9]*\).*/\1/')
    sb_holds "a new morvid ($SB_DAEMON_PID, was $pid)" test "$SB_DAEMON_PID" != "$pid"
    sb_holds "its pid file" test "$(sb_in 'cat /var/run/morvid.pid')" == "$SB_DAEMON_PID/"
else
    sb_holds "its pid file left in place" test "$(sb_in 'cat /var/run/morvid.pid')" == "$pid/"
fi

sleep 0.5
kill "$tour_follower" 2>/dev/null
wait "$tour_follower"
echo
if ((SB_MISSED > tour_missed)); then
    echo "tour: $((SB_MISSED - tour_missed)) expected behaviour(s) not seen"
    false
else
    echo "tour: every behaviour shown"
fi
