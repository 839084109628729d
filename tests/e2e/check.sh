# shellcheck shell=bash
# What the end-to-end cases share: the sandbox's helpers, and checks that
# say what they looked at. Sourced by each case, which runs inside the
# sandbox (sandbox/enter). Times are whole milliseconds (sb_ms).
set -u
export LC_ALL=C
# shellcheck source=../../sandbox/lib.sh
source "$SANDBOX_LIB"

E2E_CASE=$(basename "$0" .sh)
E2E_FAILED=0
E2E_CHECKS=0
T0=$(sb_t0)

ok() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
    echo "ok    $*"
}

bad() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
    E2E_FAILED=$((E2E_FAILED + 1))
    echo "FAIL  $*"
    sb_note "check failed: $*"
}

# check WHAT COMMAND...: passes when COMMAND succeeds.
check() {
    local what=$1
    shift
    if "$@"; then ok "$what"; else bad "$what"; fi
}

# Seconds since the daemon started, for messages.
at() { printf 't+%d.%03ds' $((($1 - T0) / 1000)) $((($1 - T0) % 1000)); }

# await WHAT SECONDS [--after MS] RE: waits for an event; on success sets
# EV (the line) and EV_MS (its time), on failure reports WHAT and clears
# them. Fails when the event does not come.
await() {
    local what=$1 seconds=$2
    shift 2
    EV=$(sb_wait "$seconds" "$@") || {
        EV="" EV_MS=""
        bad "$what (nothing within ${seconds} s)"
        return 1
    }
    EV_MS=$(sb_time "$EV")
    ok "$what (at $(at "$EV_MS"))"
}

# between WHAT VALUE LOW HIGH: LOW <= VALUE <= HIGH, all in ms.
between() {
    local what=$1 value=${2:-} low=$3 high=$4
    if [[ -z $value ]]; then
        bad "$what (not measured)"
    elif ((value >= low && value <= high)); then
        ok "$what ($((value)) ms, wanted $low..$high)"
    else
        bad "$what ($((value)) ms, wanted $low..$high)"
    fi
}

# none WHAT [--after MS] [--before MS] RE: no such event in that span.
none() {
    local what=$1 found
    shift
    found=$(sb_events "$@")
    if [[ -z $found ]]; then
        ok "$what"
    else
        bad "$what; seen: $(head -n 3 <<<"$found" | tr '\n' ';')"
    fi
}

# count_is WHAT N [--after MS] [--before MS] RE
count_is() {
    local what=$1 want=$2 got
    shift 2
    got=$(sb_count "$@")
    if ((got == want)); then ok "$what ($got)"; else bad "$what ($got, wanted $want)"; fi
}

# Sleeps until the time MS (at once if it has passed).
sleep_until() {
    local left=$(($1 - $(sb_ms)))
    ((left > 0)) && sleep "$((left / 1000)).$(printf '%03d' $((left % 1000)))"
    return 0
}

# An LED write is stamped with the file's modification time, taken from a
# clock that may lag the wall clock by a tick.
# shellcheck disable=SC2034 # used by the cases
LED_CLOCK_SLACK=20

# Pass markers: with the link down, the daemon writes LED 1 at the end of
# every pass. Prints the times of those writes after MS, one a line.
led_writes() {
    sb_events --after "${1:-0}" '^led1 ' | while read -r t _; do sb_ms "$t"; done
}

# Waits until the Nth LED write after MS; prints its time.
await_led_write() {
    local n=$1 after=$2 seconds=$3 deadline times
    deadline=$(($(sb_ms) + seconds * 1000))
    while :; do
        times=$(led_writes "$after")
        (($(grep -c . <<<"$times") >= n)) && { sed -n "${n}p" <<<"$times"; return 0; }
        (($(sb_ms) < deadline)) || return 1
        sleep 0.1
    done
}

# Zombies that are still there a second later (a process that has just
# ended is a zombie for a moment until its parent reaps it).
lasting_zombies() {
    local first
    first=$(sb_zombies)
    [[ -z $first ]] && return 0
    sleep 1
    comm -12 <(sort <<<"$first") <(sb_zombies | sort)
}

# The int the library exports as its heartbeat flag, read from the
# daemon's own memory. Found as the dynamic linker finds it: the
# executable's copy of it when there is one (a copy relocation), else the
# library's.
heartbeat_flag() {
    local maps=/proc/$SB_DAEMON_PID/maps file base value type addr
    for file in "$(readlink "/proc/$SB_DAEMON_PID/exe")" \
        "$(awk '/libzuqutil/ { print $6; exit }' "$maps")"; do
        value=$(nm -D --defined-only "$file" 2>/dev/null | awk '$3 == "g_hearbeat_is_listening" { print $1 }')
        [[ -n $value ]] && break
    done
    [[ -n $value ]] || return 1
    base=0
    type=$(readelf -h "$file" | awk '$1 == "Type:" { print $2 }')
    if [[ $type == DYN ]]; then
        base=$(awk -v f="$file" '$6 == f && $3 == "00000000" { split($1, r, "-"); print r[1]; exit }' "$maps")
        [[ -n $base ]] || return 1
    fi
    addr=$((16#$base + 16#$value))
    perl -e 'open(my $m, "<", $ARGV[0]) or exit 1; sysseek($m, $ARGV[1], 0) or exit 1;
             sysread($m, my $v, 4) == 4 or exit 1; print unpack("l", $v), "\n"' \
        "/proc/$SB_DAEMON_PID/mem" "$addr"
}

# Ends the case: the timeline when something failed, and the verdict.
finish() {
    if ((E2E_FAILED)); then
        echo
        echo "--- timeline of the sandbox ---"
        sb_timeline "$T0"
        echo "--- console ---"
        tr -d '\r' <"$SANDBOX_ROOT/console"
        echo "e2e $E2E_CASE: $E2E_FAILED of $E2E_CHECKS checks failed"
        exit 1
    fi
    echo "e2e $E2E_CASE: all $E2E_CHECKS checks passed"
    exit 0
}
