# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# The init script of a Buildroot image (no inittab line): started at boot by
# rcS; a second start starts nothing; stop ends it and removes the pid file;
# with a stale pid file naming another process, stop leaves that one alone;
# start fails when the morvid it started is gone a moment later.
OPTIONS=(--init busybox)
setup() { use_init_script; }
story() { sb_holds "S50morvid started morvid at boot" morvids_running 1; boot=$SB_DAEMON_PID
    run_init_script start; sb_holds "start again: already running ($SAID)" grep -q "already running" <<<"$SAID"
    sb_holds "nothing more started" morvids_running 1; sb_holds "the same morvid" test "$SB_DAEMON_PID" == "$boot"
    run_init_script stop; sb_holds "stop ended it" morvids_running 0; sb_holds "and removed its pid file" test ! -e /var/run/morvid.pid
    run_init_script start; sb_holds "start said OK, status 0 ($SAID)" test $? == 0 -a "${SAID##* }" == OK
    sb_holds "start started it" morvids_running 1
    sig USR1; sb_see "^console on_signal::recvd sig:$(kill -l USR1)$" 2 "its lines on the console"
    sb_holds "its pid file" test "$(cat /var/run/morvid.pid)" == "$SB_DAEMON_PID"
    sig KILL; sb_holds "killed" morvids_running 0
    other=$(sb_pidof syslogd); echo "$other" >/var/run/morvid.pid; sb_note "the stale pid file now names syslogd"
    run_init_script stop; sb_holds "syslogd left alone" test "$(sb_pidof syslogd)" == "$other"
    never_seen "^svc signal syslogd "; sb_holds "the stale pid file removed" test ! -e /var/run/morvid.pid
    (morvids_running 1 && kill -9 "$SB_DAEMON_PID") & run_init_script start
    sb_holds "start said FAIL, status 1, morvid gone a moment later ($SAID)" test $? == 1 -a "${SAID##* }" == FAIL
}
