# shellcheck shell=bash disable=SC2034 # OPTIONS, NEEDS: read by the runner
# The cost of a steady pass (services up, the link unchanged, the uptime
# action done): at most 5 system calls, however many processes run. One
# wait; one read of a service's kept /proc/PID/stat, for each of boa and
# dnrd; one read of the kept carrier file; one stat of the NVRAM store, to
# notice a changed wan_ifname without reading and parsing it each pass.
OPTIONS=(--uptime 3600 --cable plugged) NEEDS=(strace)
story() { sb_see "^svc signal getdeviceinfo " 20 "the first pass"; sleep 6
    calls=$(sb_syscalls_per_pass 6 "$SB/strace.few")
    sb_holds "at most 5 system calls a pass ($calls)" test "$calls" -le 5
    sb_crowd 10000; sleep 6
    calls=$(sb_syscalls_per_pass 6 "$SB/strace.many")
    sb_holds "at most 5 system calls a pass among 10,000 processes more ($calls)" test "$calls" -le 5
}
