# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# A storm of signals while dnrd dies every second and the cable changes:
# every signal logged, every line whole, each killall over before the
# restart goes on, one WAN action per cable change, nothing held more, and
# morvid answers as ever after.
OPTIONS=(--cable pulled)
setup() { log_killall; }
# Over 20,000 SIGUSR1, SIGUSR2 and SIGHUP in 20 s, 50 every 50 ms in a fixed
# random mix, while dnrd is killed every second and the cable plugged at 5 s
# and pulled at 12 s.
signal_storm() {
    local sigs=(USR1 USR2 HUP) b i sent=0 start left
    start=$(sb_ms)
    (for ((i = 1; i < 20; i++)); do sleep 1; stop_service dnrd 2>/dev/null; done) &
    (sleep 5; plug; sleep 7; pull) &
    RANDOM=20240607
    for ((b = 0; b < 400; b++)); do
        for ((i = 0; i < 50; i++)); do kill -s "${sigs[RANDOM % 3]}" "$SB_DAEMON_PID" && sent=$((sent + 1)); done
        left=$((start + (b + 1) * 50 - $(sb_ms)))
        ((left > 0)) && sleep "0.$(printf %03d "$left")"
    done
    wait
    sb_holds "20,000 signals sent ($sent)" test "$sent" -ge 20000
    sb_note "storm over" && sb_mark
}
story() { skip_first_wait; stop_service dnrd; sb_see "^svc start dnrd "; wait_passes 2; note_what_morvid_holds
    signal_storm; still_running
    sb_holds "every output line whole and known" test -z "$(sb_events '^out ' |
        grep -Ev " out (on_signal::recvd sig:($(kill -l USR1)|$(kill -l USR2)|$(kill -l HUP))|run_dnrd|run_boa)\$")"
    # Every killall (logged by log_killall) over before the restart went on.
    sb_holds "no killall still running at a run_ line" test -z "$(sb_events '^(killall |out run_)' | awk '
        $2 == "killall" { if ($3 == "begin") open[$4] = 1; else delete open[$4]; next }
        { for (p in open) print p }')"
    for s in USR1 USR2 HUP; do sb_holds "SIG$s logged" test "$(sb_count "^out on_signal::recvd sig:$(kill -l "$s")$")" -ge 200; done
    SB_MARK=0; sb_see "^act cable plugged"; sb_see "^wan eth0 start$"; sb_see "^act cable pulled"; sb_see "^wan eth0 stop$" 10
    sb_holds "one WAN action per cable change" test "$(sb_count "^wan ")" -eq 2
    stop_service dnrd; sb_see "^svc start dnrd "; wait_passes 2
    holds_the_same 8 # two pages of stack, for handlers nested deeper than ever before
    sig USR1; sb_see "^out on_signal::recvd sig:$(kill -l USR1)$" 2
}
