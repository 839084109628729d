#!/bin/bash
# Run inside sandbox/enter by bench/run: measures the daemon's steady passes
# (services up, link stable, uptime action done).
#
#   steady.sh strace OUTDIR TAG PASSES
#       After the first pass, traces the daemon (strace -f -C -tt, attached
#       by pid) for PASSES passes and more, and keeps its VmRSS and VmHWM
#       before and after: OUTDIR/TAG-strace.txt, TAG-status-{start,end}.txt,
#       TAG-procs.txt (processes in the sandbox while measuring).
#   steady.sh callgrind OUTDIR TAG PASSES
#       The daemon runs under callgrind with a dump before every sleep:
#       waits until PASSES passes after the second are dumped.
#
# With BENCH_IDLE_READY set, the idle processes started by idle-setup.sh
# are ended (by pid) before this returns.
set -u
MODE=$1 OUT=$2 TAG=$3 PASSES=$4
# shellcheck source=sandbox/lib.sh
source "$SANDBOX_LIB"

end_idle() {
    [[ -n ${BENCH_IDLE_READY:-} && -s $BENCH_IDLE_READY ]] || return 0
    local pid i
    read -r pid <"$BENCH_IDLE_READY"
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 600; i++)); do
        [[ -e /proc/$pid ]] || break
        sleep 0.05
    done
}
trap end_idle EXIT

# The first pass stops getdeviceinfo (the sandbox starts past uptime 1800).
if ! sb_wait 60 '^svc signal getdeviceinfo ' >/dev/null; then
    echo "steady.sh: the daemon made no first pass" >&2
    exit 1
fi

case $MODE in
strace)
    sleep 2 # the rest of the first pass
    procs=(/proc/[0-9]*)
    echo "${#procs[@]}" >"$OUT/$TAG-procs.txt"
    cat "/proc/$SB_DAEMON_PID/status" >"$OUT/$TAG-status-start.txt"
    strace -f -C -tt -o "$OUT/$TAG-strace.txt" -p "$SB_DAEMON_PID" 2>"$OUT/$TAG-strace.err" &
    tracer=$!
    # One pass more than asked and a bit: the first and last are cut.
    sleep $((5 * (PASSES + 1) + 2))
    kill -INT "$tracer"
    wait "$tracer"
    cat "/proc/$SB_DAEMON_PID/status" >"$OUT/$TAG-status-end.txt"
    sb_daemon_alive || { echo "steady.sh: the daemon died" >&2; exit 1; }
    ;;
callgrind)
    # Dump k holds pass k-1 (dump 1 is the start-up): passes 3 on are
    # steady, pass 2 being the first with the services remembered.
    last=$((PASSES + 3))
    for ((i = 0; i < 5 * (PASSES + 4) * 10; i++)); do
        [[ -s $OUT/cg/cg.out.$last ]] && break
        sleep 0.1
    done
    [[ -s $OUT/cg/cg.out.$last ]] || { echo "steady.sh: no dump $last from callgrind" >&2; exit 1; }
    sleep 1 # let callgrind finish writing it
    ;;
*)
    echo "steady.sh: unknown mode $MODE" >&2
    exit 2
    ;;
esac
