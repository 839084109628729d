# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# /var/run, LED 1 and the console read-only: services restarted all the
# same (each killall over first), the WAN action run, nothing written, the
# old pid file left; LED 1 written once writable again.
OPTIONS=(--cable pulled)
ro_bind() { mount --bind "$1" "$2" && mount -o remount,bind,ro "$2"; }
setup() { mount -o remount,ro /var/run && ro_bind "$SB/led1" "$SB/led1" &&
    umount /dev/console && : >"$SB/fs/ro" && ro_bind "$SB/fs/ro" /dev/console && log_killall
}
story() { skip_first_wait; stop_service dnrd; sb_see "^killall begin .* -9 dnrd$"; sb_see "^killall end "
    sb_see "^svc start dnrd .* pidfile=stale:"; stop_service boa; sb_see "^svc start boa .* pidfile=stale:"
    plug; sb_see "^wan eth0 start$" 45; pull; sb_see "^wan eth0 stop$"
    never_seen "^console "; never_seen "^led1 "
    sb_holds "the pid file an earlier run left" grep -qx "left by an earlier run" /var/run/morvid.pid
    act umount "$SB/led1"; sb_see "^led1 1$"; still_running
}
