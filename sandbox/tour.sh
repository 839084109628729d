#!/bin/bash
# The scripted tour of sandbox/run: shows each of morvid's behaviours once,
# on the real daemon, with a live timeline of what it did and when. Runs
# inside the sandbox (sandbox/enter). Exits 0 when everything expected was
# seen.
set -u
export LC_ALL=C
# shellcheck source=sandbox/lib.sh
source "$SANDBOX_LIB"

missing=0
# Waits for an event; says so in the timeline when it does not come.
#   expect SECONDS WHAT [--after MS] RE
expect() {
    local seconds=$1 what=$2 line
    shift 2
    if line=$(sb_wait "$seconds" "$@"); then
        echo "$line"
    else
        sb_note "NOT SEEN within ${seconds} s: $what"
        missing=$((missing + 1))
        return 1
    fi
}
pause() { sleep "$1"; }

t0=$(sb_t0)
echo "morvid (pid $SB_DAEMON_PID) runs in a sandbox: WAN cable ${CABLE:-plugged}, wan_proto ${PROTO:-static}."
echo "Its services, started before it: $(sb_events '^svc start ' |
    awk '{ split($5, p, "="); printf "%s%s %s", sep, $4, p[2]; sep = ", " }')."
echo "Timeline (t+ seconds since morvid started):"
# From the daemon's start on; the services' start-up is summed up above.
first=$(grep -n ' sandbox morvid-started ' "$SANDBOX_EVENTS" | head -n 1 | cut -d: -f1)
tail -n +"${first:-1}" -f "$SANDBOX_EVENTS" > >(sb_format "$t0") &
tail_pid=$!
finish() {
    sleep 0.5
    kill "$tail_pid" 2>/dev/null
    sleep 0.2
    echo
    if ((missing)); then
        echo "tour: $missing expected behaviour(s) not seen"
        exit 1
    fi
    echo "tour: every behaviour shown"
    exit 0
}

sb_wait_daemon_ready || sb_note "morvid has not set up its signal handlers"
sb_note "/var/run/morvid.pid holds \"$(awk '{ printf "%s\\n", $0 }' /var/run/morvid.pid)\" (before: \"4194303\\nleft by an earlier run\\n\")"

# 1. The uptime action: the first pass at or after uptime 1800.
up0=$(awk '$2 == "sandbox" && $3 == "morvid-started" { split($5, u, "="); print int(u[2]); exit }' "$SANDBOX_EVENTS")
due=$((1800 - up0))
((due < 10)) && due=10
if ((due <= 60)); then
    sb_note "waiting for the uptime to pass 1800 s (in about $due s)"
    expect $((due + 8)) "getdeviceinfo stopped once uptime passed 1800" 'svc signal getdeviceinfo .*sig=TERM' >/dev/null
else
    sb_note "uptime action not due within this tour (started at uptime $up0 s)"
    pause 11
fi
pause 1

# 2. Cable pulled: LED 1 on at the first pass (after the 2-s re-read), WAN
#    stopped one pass later.
sb_pull
pulled=$(sb_ms)
expect 10 "LED 1 set to 1 after the cable was pulled" --after "$pulled" '^led1 1$' >/dev/null
expect 10 "WAN stopped one pass later" --after "$pulled" '^wan eth0 stop$' >/dev/null
pause 1

# 3. Cable back: WAN started, LED 1 off (wan_proto is "static").
sb_plug
plugged=$(sb_ms)
expect 8 "WAN started when the cable came back" --after "$plugged" '^wan eth0 start$' >/dev/null
pause 1

# 4. dnrd killed: restarted at the next pass.
sb_kill dnrd KILL
killed=$(sb_ms)
expect 10 "dnrd restarted" --after "$killed" '^svc start dnrd ' >/dev/null
expect 3 "run_dnrd printed" --after "$killed" '^out run_dnrd$' >/dev/null
pause 1

# 5. boa killed: the kill list, "x", boa again, then (after the 30-s wait)
#    dnrd again, in the same pass.
sb_kill boa KILL
killed=$(sb_ms)
expect 14 "boa restarted with -c /etc" --after "$killed" '^svc start boa .*args=-c /etc$' >/dev/null
expect 3 "run_boa printed" --after "$killed" '^out run_boa$' >/dev/null
sb_note "morvid now waits 30 s before checking dnrd, killed with the rest of the list"
expect 40 "dnrd restarted after the boa restart" --after "$killed" '^svc start dnrd ' >/dev/null
expect 3 "run_dnrd printed" --after "$killed" '^out run_dnrd$' >/dev/null
pause 1

# 6. Signals: logged with this platform's numbers; SIGUSR1/SIGUSR2 switch
#    the library's heartbeat flag, SIGHUP only logs.
for sig in USR1 USR2 HUP; do
    sent=$(sb_ms)
    sb_sig "$sig"
    expect 3 "SIG$sig logged" --after "$sent" "^out on_signal::recvd sig:$(kill -l "$sig")\$" >/dev/null
    pause 1
done

zombies=$(sb_zombies)
sb_note "zombie processes: ${zombies:-none}; morvid $(sb_daemon_alive && echo "still running" || echo "GONE")"
sb_daemon_alive || missing=$((missing + 1))
finish
