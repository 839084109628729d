# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# The daemon's standard output a pipe, as under a logger: each line out
# within a second of its cause, in order, and none lost to a SIGKILL.
OPTIONS=(--cable plugged --stdout pipe)
story() { skip_first_wait; stop_service dnrd; sb_see "^svc start dnrd "; sb_soon "^out run_dnrd$"
    sig USR1; sb_see "^out on_signal::recvd sig:$(kill -l USR1)$" 1
    stop_service boa; sb_see "^svc start boa "; sb_soon "^out run_boa$"
    sb_see "^svc start dnrd " 40; sb_soon "^out run_dnrd$"
    sig USR2; sb_see "^out on_signal::recvd sig:$(kill -l USR2)$" 1
    sig KILL; sb_see "^sandbox morvid-ended .* signal=KILL$" 5
    sb_holds "every line, in order" test "$(sb_events "^out " | cut -d" " -f3- | paste -sd,)" == \
        "on_signal::recvd sig:1,run_dnrd,on_signal::recvd sig:$(kill -l USR1),run_boa,run_dnrd,on_signal::recvd sig:$(kill -l USR2)"
}
