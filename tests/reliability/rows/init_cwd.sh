# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# S50morvid restart typed in another directory: morvid works in / all the
# same, where the stale pid files are that it removes (dnrd's, restarting it).
OPTIONS=(--init busybox)
setup() { use_init_script; }
story() { sb_holds "S50morvid started morvid at boot" morvids_running 1; boot=$SB_DAEMON_PID
    (cd /tmp && run_init_script restart); sb_holds "restarted from /tmp" morvids_running 1 "$boot"
    cwd=$(readlink "/proc/$SB_DAEMON_PID/cwd"); sb_holds "it works in / ($cwd)" test "$cwd" == /
    skip_first_wait; stop_service dnrd; sb_see "^svc start dnrd .* pidfile=absent "
}
