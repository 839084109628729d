# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# dnrd, then boa, dying at each start: restarted pass after pass, with
# nothing held more (descriptors, processes, memory), and as ever once they
# start again.
OPTIONS=(--cable pulled)
story() { skip_first_wait; wait_passes 1
    crash-loop dnrd 3; stop_service dnrd; wait_passes 2; note_what_morvid_holds; wait_passes 6; holds_the_same
    sb_holds "dnrd crashed in each pass" test "$(sb_count "^svc exit dnrd .* status=3$")" -ge 8
    crash-loop dnrd off; sb_see "^svc start dnrd " 10; nothing_for 2 "^svc exit dnrd "
    crash-loop boa 4; stop_service boa; sb_see "^out run_boa$" 15; sleep 1; note_what_morvid_holds
    hup_until_seen "^svc start dnrd "; sb_see "^out run_boa$" 15; sleep 1; holds_the_same
    sb_holds "boa crashed at each start" test "$(sb_count "^svc exit boa .* status=4$")" -eq 2
    hup_until_seen "^svc start dnrd "; still_running
}
