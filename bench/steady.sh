#!/bin/bash
# bench/run's steady passes, in a sandbox started with --uptime 3600:
#   steady.sh OUT TAG PASSES [CROWD]  PASSES passes from the third, with CROWD idle processes more:
#       OUT/TAG-strace.txt (strace -c), OUT/TAG.txt (calls per pass, memory in kB before/after, processes);
#       under qemu-user (--wrap "qemu-mips ... -d strace -D /var/run/qemu.strace") calls only, from its log
#   steady.sh OUT cg PASSES           under callgrind: waits for pass PASSES + 2
set -euo pipefail
out=$1 tag=$2 passes=$3
# shellcheck source=sandbox/lib.sh
source "$SB/lib.sh"

(($# < 4)) || sb_crowd "$4"
sb_wait 60 '^svc signal getdeviceinfo ' >/dev/null || { echo "steady.sh: no first pass" >&2; exit 1; }
if [[ $tag == cg ]]; then
    # Dump k + 1 holds pass k; a dump is complete once its totals are in.
    dump=$out/cg.out.$((passes + 3))
    timeout $((5 * (passes + 4))) sh -c "until grep -qs '^totals:' '$dump'; do sleep 0.1; done" ||
        { echo "steady.sh: no $dump" >&2; exit 1; }
    exit 0
fi
sleep 7 # the first pass came at 10 s; this is the wait before the third
if [[ $WRAP == qemu-* ]]; then # calls only: the memory would be qemu's
    calls=$(sb_qemu_syscalls_per_pass "$passes" /var/run/qemu.strace)
    [[ $calls == [0-9]* ]] || { echo "steady.sh: no whole pass logged" >&2; exit 1; }
    echo "calls=$calls" >"$out/$tag.txt"
    exit 0
fi
kb() { for key in VmRSS VmHWM RssAnon; do sb_daemon_kb "$key"; done; }
mapfile -t before < <(kb)
calls=$(sb_syscalls_per_pass "$passes" "$out/$tag-strace.txt")
mapfile -t after < <(kb)
[[ $calls == [0-9]* ]] || { echo "steady.sh: no whole pass traced" >&2; exit 1; }
echo "calls=$calls VmRSS=${before[0]}/${after[0]} VmHWM=${before[1]}/${after[1]}" \
    "RssAnon=${before[2]}/${after[2]} processes=$(ps -e --no-headers | wc -l)" >"$out/$tag.txt"
