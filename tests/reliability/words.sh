# shellcheck shell=bash
# The words the fault rows (rows/*.sh) share, over those of sandbox/lib.sh.
# The story words run inside the sandbox while morvid runs; the setup words
# before it starts, as root.

# ---- story words -----------------------------------------------------------

stop_service() { kill-service "$1" TERM; }
# Ends the daemon's first wait (10 s) at once: for rows whose point is not
# the pacing.
skip_first_wait() { sb_holds "the first wait cut short" sb_hurry_first_pass; }
# No event matching RE since morvid started.
never_seen() { sb_holds "never: $1" test -z "$(sb_events --past "$(sb_first '^sandbox morvid-started' | cut -d' ' -f1)" "$1")"; }
# nothing_for SECONDS RE: no such event for SECONDS after the mark.
nothing_for() { sleep "$1" && sb_holds "nothing for $1 s: $2" test -z "$(sb_events --past "$SB_MARK" "$2")"; }
still_running() { sb_holds "morvid still runs" sb_daemon_alive && never_seen '^sandbox morvid-ended '; }
# N more passes of the daemon, each marked by an LED write (the cable pulled).
wait_passes() { local p; for ((p = 0; p < $1; p++)); do sb_see '^led1 ' 40 "pass $p of $1"; done; }
# SIGHUP sent to morvid every second until RE is seen: each cuts short the
# wait the daemon is in, so that what comes after it comes sooner.
hup_until_seen() {
    local mark=$SB_MARK i
    for ((i = 0; i < 40; i++)); do [[ -n $(sb_events --past "$mark" "$1") ]] && break; sig HUP; sleep 1; done
    SB_MARK=$mark && sb_see "$1" 2
}

# Under busybox init: the init script run as rcS runs it, what it said kept
# in SAID; morvids_running N [NOT]: once N morvids run within 5 s (default
# 1), other than pid NOT, SB_DAEMON_PID names them.
# shellcheck disable=SC2034 # read by the rows
run_init_script() { SAID=$(act /etc/init.d/S50morvid "$1" 2>&1); }
morvids_running() { sb_until morvids_now "$@"; }
# shellcheck disable=SC2034 # read by the rows
morvids_now() {
    local pids
    pids=$(sb_pidof morvid | grep -vx "${2:-0}" | paste -sd' ')
    [[ $(wc -w <<<"$pids") == "${1:-1}" ]] && SB_DAEMON_PID=$pids
}

# What morvid holds, taken while it waits: its descriptors and the
# sandbox's processes, its private and resident memory in kB.
what_morvid_holds() {
    sleep 0.5
    echo "$({ sb_daemon_fds; sb_processes; } | tr ' \n' '_,')" "$(sb_daemon_kb RssAnon)" "$(sb_daemon_kb VmRSS)"
}
note_what_morvid_holds() { read -r HELD ANON RSS < <(what_morvid_holds); }
# Since note_what_morvid_holds: the same descriptors and processes, no
# private memory more (but SLACK kB), at most 32 kB more resident (code
# pages read in at the kernel's will), no zombie.
holds_the_same() {
    local held anon rss
    read -r held anon rss < <(what_morvid_holds)
    sb_holds "the same descriptors and processes" test "$held" == "$HELD"
    # A sanitizer's own memory comes and goes as it likes.
    [[ -n ${MORVID_SANITIZE:-} ]] ||
        sb_holds "no more memory (RssAnon $ANON -> $anon kB, VmRSS $RSS -> $rss kB)" \
            test "$((anon - ANON))" -le "${1:-0}" -a "$((rss - RSS))" -le 32
    # One that has just ended is a zombie for a moment, until reaped.
    sb_holds "no zombie ($(sb_zombies))" sb_until no_zombies
}
no_zombies() { [[ -z $(sb_zombies) ]]; }

# ---- setup words -----------------------------------------------------------

# killall wrapped to log when each run begins and ends.
log_killall() {
    cp "$(command -v killall)" "$SB/fs/killall.real" || return 1
    printf '%s\n' '#!/bin/bash' \
        "echo \"\$EPOCHREALTIME killall begin \$\$ \$*\" >>$SB/events" \
        "$SB/fs/killall.real \"\$@\"; rc=\$?" \
        "echo \"\$EPOCHREALTIME killall end \$\$\" >>$SB/events; exit \$rc" >"$BIN/killall"
}
# Busybox init with the Buildroot package's init script instead of the
# inittab line, installed as its .mk installs it.
use_init_script() { sed -i /morvid/d /etc/inittab && install -m 0755 "$REPO/packaging/buildroot/package/morvid/S50morvid" /etc/init.d/; }
