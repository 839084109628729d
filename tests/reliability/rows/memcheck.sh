# shellcheck shell=bash disable=SC2034 # OPTIONS, NEEDS: read by the runner
# Under valgrind's memcheck through restarts, signals, cable changes and
# SIGTERM: no memory error, nothing leaked.
OPTIONS=(--uptime 1790 --cable plugged --wrap "valgrind --tool=memcheck --leak-check=full \
    --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
    --track-origins=yes --track-fds=yes --child-silent-after-fork=yes --log-file=%q{SB}/memcheck.%p.log") NEEDS=(valgrind)
story() { sb_see "^reap getdeviceinfo .*signal=TERM$" 30
    stop_service boa; stop_service dnrd; sig USR1; sb_see "^svc start boa " 20; hup_until_seen "^svc start dnrd "
    pull; sb_see "^led1 1$"; sig USR2; sb_see "^wan eth0 stop$"; plug; sb_see "^wan eth0 start$"
    sig TERM; sb_see "^sandbox morvid-ended .*signal=TERM$" 60; sleep 1
    log=$SB/memcheck.$SB_DAEMON_PID.log
    sb_holds "memcheck found no error" grep -q 'ERROR SUMMARY: 0 errors from 0 contexts' "$log"
    sb_holds "nothing leaked" grep -Eq 'definitely lost: 0 bytes|All heap blocks were freed' "$log" && cat "$log"
}
