# shellcheck shell=bash disable=SC2034 # OPTIONS, NEEDS: read by the runner
# On uClibc-ng, the device's own C library, at most 8: its sleep() keeps
# SIGCHLD blocked during the wait whenever SIGCHLD is ignored, as morvid
# ignores it so that the kernel reaps its children: a sigaction to read the
# disposition and a sigprocmask before and after, 3 calls more than the 5
# of the budget row. The MIPS build (router/build makes it) under
# qemu-user, which logs the calls.
OPTIONS=(--uptime 3600 --cable plugged --daemon "$REPO/build-mips-uclibc/daemon/morvid"
    --wrap "qemu-mips -L $REPO/build-toolchains/uclibc -d strace -D /var/run/qemu.strace") NEEDS=(qemu-mips "$REPO/build-mips-uclibc/daemon/morvid")
story() { sb_see "^svc signal getdeviceinfo " 20 "the first pass"; sleep 6
    calls=$(sb_qemu_syscalls_per_pass 6 /var/run/qemu.strace)
    sb_holds "at most 8 system calls a pass on uClibc-ng ($calls)" test "$calls" -le 8
}
