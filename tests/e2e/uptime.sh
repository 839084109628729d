#!/bin/bash
# The one-shot uptime action: getdeviceinfo is sent the default signal
# (SIGTERM) in the first pass at which uptime is 1800 s or more, and never
# again by this action: a getdeviceinfo started afterwards keeps running.
# Sandbox: uptime 1786 s at start (the first pass comes before 1800 s),
# cable pulled so that LED 1 marks every pass.
source "$(dirname "$0")/check.sh"

check "morvid has started" sb_wait_daemon_ready
# Uptime at start in ms, as /proc/uptime gave it just before the daemon ran.
U0=$(awk '$2 == "sandbox" && $3 == "morvid-started" { split($5, u, "="); printf "%d", u[2] * 1000; exit }' "$SANDBOX_EVENTS")
uptime_at() { echo $((U0 + $1 - T0)); }

await "getdeviceinfo is sent SIGTERM" 30 '^svc signal getdeviceinfo .*sig=TERM '
K=$EV_MS
between "uptime when that happens: the first pass at or after 1800 s" "$(uptime_at "$K")" 1799900 1805600
earlier=$(led_writes "$T0" | awk -v k="$((K - LED_CLOCK_SLACK))" '$1 < k' | tail -n 1)
check "an earlier pass, below 1800 s, did nothing" test -n "$earlier"
[[ -n $earlier ]] && between "uptime at that earlier pass" "$(uptime_at "$earlier")" 1790000 1799999
await "getdeviceinfo ends by it" 2 '^reap getdeviceinfo .*signal=TERM$'

# A getdeviceinfo started after that is left alone by later passes.
sleep 0.5
sb_start getdeviceinfo
await "a new getdeviceinfo starts" 3 --after "$K" '^svc start getdeviceinfo '
G=$EV_MS
gpid=$(sed 's/.* pid=\([0-9]*\) .*/\1/' <<<"$EV")
check "three more passes have run" await_led_write 3 "$G" 18 >/dev/null
check "the new getdeviceinfo (pid $gpid) is still running" test "$(sb_pidof getdeviceinfo)" == "$gpid"
none "and was sent no signal" --after "$G" '^svc signal getdeviceinfo '
count_is "getdeviceinfo was signalled once in all" 1 '^svc signal getdeviceinfo '
finish
