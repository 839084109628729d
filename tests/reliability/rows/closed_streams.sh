# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# Started with descriptors 0, 1 and 2 closed: they are /dev/null, not the
# files morvid opens later, and it works as ever.
OPTIONS=(--cable plugged --wrap closed-streams)
setup() { printf '#!/bin/sh\n%s\n' "exec \"\$@\" <&- >&- 2>&-" >"$BIN/closed-streams" && chmod 755 "$BIN/closed-streams"; }
story() { skip_first_wait; pull; sb_see "^led1 1$"; sig USR1; sb_see "^wan eth0 stop$"
    sb_holds "0, 1 and 2 on /dev/null" test "$(readlink /proc/"$SB_DAEMON_PID"/fd/[012] | sort -u)" == /dev/null
    sb_holds "LED 1 holds its value alone" test "$(cat "$SB/led1")" == 1; still_running
}
