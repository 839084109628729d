# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# busybox init as PID 1: started by init (the inittab line) and, once killed,
# again within a few seconds; its lines on the console.
OPTIONS=(--init busybox)
story() { sb_holds "init started morvid" morvids_running 1; first=$SB_DAEMON_PID
    sig USR1; sb_see "^console on_signal::recvd sig:$(kill -l USR1)$" 2 "its lines on the console"
    sig KILL; sb_holds "init started it again" morvids_running 1 "$first"
    sig USR2; sb_see "^console on_signal::recvd sig:$(kill -l USR2)$" 2 "the new one answers"
    sb_holds "the new one wrote its pid file" test "$(cat /var/run/morvid.pid)" == "$SB_DAEMON_PID"
}
