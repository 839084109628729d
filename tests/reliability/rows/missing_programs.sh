# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# boa and killall gone from the router, boa not running: the boa restart
# runs what it can and morvid goes on, killing nothing with SIGKILL. The
# shell's word that /bin/boa is missing and "run_boa" share the terminal,
# and may come out on one line.
OPTIONS=(--cable pulled)
setup() { rm "$BIN/boa" "$BIN/killall" && kill "$(sb_pidof boa)" && ! PATH=/bin:/usr/bin:/sbin:/usr/sbin type -P killall; }
story() { skip_first_wait; sb_see "^x ran "; sb_see "run_boa$"
    hup_until_seen "^led1 1$"; stop_service dnrd; sb_see "^x ran " 15; hup_until_seen "^svc start dnrd "
    never_seen "^svc start boa "; never_seen "^reap .* signal=KILL$"; never_seen "^console "; still_running
}
