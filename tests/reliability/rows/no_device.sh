# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# Started where the library's configuration is missing (a workstation, no
# device): the kill list of a boa restart, run through _eval, runs nothing,
# and morvid's standard error says why, once.
OPTIONS=(--cable plugged)
setup() { rm -r /etc/zuqutil; }
story() { skip_first_wait; stop_service boa; sb_see "^out /etc/zuqutil missing: not a device" 15 "why, on its standard error"
    sb_see "^out run_boa$"; stop_service dnrd; hup_until_seen "^svc start dnrd "
    sb_holds "said once" test "$(sb_count "^out .*not a device")" -eq 1
    sb_holds "no service signalled but by us" test "$(sb_count "^svc signal ")" -eq 2
    never_seen "^reap .* signal=KILL$"; still_running
}
