# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# A WAN action whose first stop hangs for 8 s and whose every start fails:
# signals are answered meanwhile, services restarted after it, and the
# failure's words reach the console.
OPTIONS=(--cable plugged)
setup() {
    cat >/etc/zuqutil/wan.action <<END
#!/bin/bash
echo "\$1 \$2" >>$SB/wan
[[ \$2 != stop || -e $SB/hung ]] || { : >$SB/hung; sleep 8; echo "\$1 \$2 over" >>$SB/wan; }
[[ \$2 == stop ]] || { echo "wan.action: cannot start \$1"; exit 1; }
END
}
story() { skip_first_wait; sleep 1.5
    pull; sb_see "^wan eth0 stop$"
    sig USR1; sb_see "^out on_signal::recvd sig:" 2 "a signal answered during the hung stop"
    stop_service dnrd; plug; sb_see "^wan eth0 stop over$" 10
    over=$SB_MARK; sb_see "^svc start dnrd "
    SB_MARK=$over; sb_see "^wan eth0 start$"; sb_see "^console wan.action: cannot start eth0$"
    pull; sb_see "^wan eth0 stop$"; still_running
}
