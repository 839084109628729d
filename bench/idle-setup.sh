# shellcheck shell=bash
# Sourced by sandbox/enter (--setup) before the daemon starts: fills the
# sandbox with $BENCH_IDLE idle processes, so that the daemon finds its
# services among them from its first pass on. bench/steady.sh ends them.
# From the environment: BENCH_TASK_BIN, BENCH_IDLE, BENCH_IDLE_READY.
"$BENCH_TASK_BIN" idle "$BENCH_IDLE" "$BENCH_IDLE_READY" </dev/null >/dev/null 2>&1 &
for ((i = 0; i < 1200; i++)); do
    [[ -s $BENCH_IDLE_READY ]] && break
    sleep 0.05
done
[[ -s $BENCH_IDLE_READY ]]
