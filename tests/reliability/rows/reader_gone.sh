# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# The pipe's reader (a logger) goes away: the next lines fail to be written,
# and morvid goes on; what it starts still meets SIGPIPE's default action.
OPTIONS=(--cable plugged --stdout pipe)
story() { skip_first_wait; act kill "$(ps -o ppid= -p "$SB_DAEMON_PID")"
    sig USR1; stop_service dnrd; sb_see "^svc start dnrd "; sig USR2; sleep 1
    sb_holds "dnrd does not ignore SIGPIPE" test "$((16#$(sed -n "s/^SigIgn:\t//p" /proc/"$(sb_pidof dnrd)"/status) >> 12 & 1))" == 0
    never_seen "^reap morvid "; still_running
}
