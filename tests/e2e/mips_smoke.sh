#!/bin/bash
# The daemon built for the device's CPU (32-bit big-endian MIPS), with the
# host library built the same way, both under qemu-user in the sandbox:
# signals are logged with the target's own numbers, a killed dnrd is
# restarted, and a pulled cable reaches the WAN stop.
# Sandbox: uptime 1000 s, cable plugged; started by tests/run after the
# MIPS build, with --daemon and --wrap "qemu-mips -L SYSROOT".
source "$(dirname "$0")/check.sh"

# qemu catches every signal itself from the start, so the handlers in
# place cannot be read off /proc; the pid file is written just before the
# dispositions are set.
await "the pid file holds the daemon's pid" 10 '^sandbox morvid-started '
for ((i = 0; i < 100; i++)); do
    [[ $(cat /var/run/morvid.pid 2>/dev/null) == "$SB_DAEMON_PID" ]] && break
    sleep 0.1
done
check "pid file written by the MIPS daemon" test "$(cat /var/run/morvid.pid)" == "$SB_DAEMON_PID"
sleep 1

# MIPS numbers: SIGUSR1 16, SIGUSR2 17, SIGHUP 1.
for pair in USR1:16 USR2:17 HUP:1; do
    S=$(sb_ms)
    sb_sig "${pair%:*}"
    await "SIG${pair%:*} logged as the target's signal ${pair#*:}" 5 --after "$S" \
        "^out on_signal::recvd sig:${pair#*:}\$"
done

K=$(sb_ms)
sb_kill dnrd KILL
await "a killed dnrd is restarted" 20 --after "$K" '^svc start dnrd '
await "run_dnrd is printed" 5 --after "$K" '^out run_dnrd$'

L=$(sb_ms)
sb_pull
await "LED 1 set to 1 after the cable is pulled" 20 --after "$L" '^led1 1$'
await "the pulled cable reaches the WAN stop" 20 --after "$L" '^wan eth0 stop$'
check "morvid still runs" sb_daemon_alive
finish
