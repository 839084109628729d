#!/bin/bash
# /bin/boa missing and boa not running: at every pass boa is found absent
# and its restart is attempted in full (the kill list, x, the 2-s wait, the
# start that fails, "run_boa", the 30-s wait); the rest of the pass goes
# on: dnrd, killed with the list, is restarted after the wait, and the WAN
# link is read (LED 1 set, the cable being pulled).
# Sandbox: uptime 1000 s, cable pulled, /bin/boa removed and boa stopped
# before the daemon starts (boa_missing.setup).
source "$(dirname "$0")/../e2e/check.sh"

check "there is no /bin/boa" test ! -e /bin/boa
check "no boa runs" test -z "$(sb_pidof boa)"
check "the first wait is cut short" sb_hurry_first_pass
S=$(sb_ms)

# The shell that fails to start boa in the background says so on the
# same terminal, in pieces, as the daemon prints "run_boa": the lines may
# come out mixed ("sh: 1: run_boa", "/bin/boa: not found").
RUN_BOA='^out (.*: )?run_boa$'
await "first attempt: x runs" 8 --after "$S" '^x ran '
X1=$EV_MS
await "run_boa is printed" 5 --after "$X1" "$RUN_BOA"
B1=$EV_MS
between "2 s after x" $((${B1:-0} - ${X1:-0})) 1900 3000
await "the shell says /bin/boa is not there" 1 --after "$X1" '^out .*/bin/boa.*not found'
await "dnrd, killed with the list, is restarted after the 30-s wait" 35 --after "${B1:-$S}" '^svc start dnrd '
D=$EV_MS
between "30 s after run_boa, plus the 1-s re-check" $((${D:-0} - ${B1:-0})) 30900 32500
await "run_dnrd is printed" 2 --after "${B1:-$S}" '^out run_dnrd$'
await "the pass goes on to the WAN link: LED 1 set" 3 --after "${B1:-$S}" '^led1 1$'
L=$EV_MS

await "next pass: boa is found missing again, x runs again" 10 --after "${L:-$S}" '^x ran '
X2=$EV_MS
await "run_boa is printed again" 5 --after "${X2:-$S}" "$RUN_BOA"
between "the next attempt comes one 5-s wait and the 1-s re-check after the last pass" \
    $((${X2:-0} - ${L:-0})) 5900 7500
none "no boa was ever started" --after "$T0" '^svc start boa '
count_is "killall -9 boa said there was none, at each attempt" 2 '^console boa: no process found$'
check "morvid still runs" sb_daemon_alive
finish
