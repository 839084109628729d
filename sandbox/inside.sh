#!/bin/bash
# Builds the router's world in the sandbox's fresh namespaces, starts the real morvid in it, then
# runs the command given as the only child of PID 1 (sbtool init), or turns into busybox init.
set -u
export LC_ALL=C
# shellcheck source=sandbox/lib.sh
source "$SB/lib.sh"
failed() { echo "sandbox: setup failed: $*" >&2; exit 1; }
# Scratch space for the overlays; /sys of the new network namespace (eth0's); a private /var/run.
mkdir -p "$SB/fs" "$SB/modes"
mount -t tmpfs -o mode=755 sandbox-fs "$SB/fs" || failed "tmpfs on $SB/fs"
mount -t sysfs sysfs /sys || failed "sysfs"
mount -t tmpfs -o mode=755 sandbox-run /var/run || failed "tmpfs on /var/run"

# Host directories that must gain files: an overlay, ours in its upper layer.
overlay() {
    local layer=$SB/fs/$2
    mkdir -p "$layer/upper" "$layer/work"
    mount -t overlay "sandbox-$2" -o "lowerdir=$1,upperdir=$layer/upper,workdir=$layer/work" "$1" ||
        failed "overlay on $1"
}
BIN=$(readlink -f /bin)
overlay "$BIN" bin
overlay /etc etc

# A stand-in under every name the daemon starts or kills; "x" records that it ran.
for name in "${SB_SERVICES[@]}"; do ln -sf "$BUILD/sandbox/standin" "$BIN/$name"; done
# shellcheck disable=SC2016 # expanded when they run
printf '#!/bin/bash\nprintf "%%s x ran pid=%%d\\n" "$EPOCHREALTIME" $$ >>"%s"\n' "$SB/events" >"$BIN/x"

# The device library's NVRAM, LED 1 as a file, and a WAN action recording each request in a file.
mkdir -p /etc/zuqutil
printf '# NVRAM of the sandbox\nwan_proto=%s\nwan_ifname=eth0\nled1_path=%s\n' "$PROTO" "$SB/led1" >/etc/zuqutil/nvram
# shellcheck disable=SC2016
printf '#!/bin/bash\necho "$1 $2" >>"%s"\necho "wan.action: $2 $1"\n' "$SB/wan" >/etc/zuqutil/wan.action
chmod 755 "$BIN/x" /etc/zuqutil/wan.action
: >"$SB/led1" && : >"$SB/wan"

# The WAN port: a veth pair, whose peer "cable" goes down or up.
ip link set lo up || failed "loopback"
ip link add eth0 type veth peer name cable || failed "veth pair"
ip link set eth0 up || failed "eth0 up"
if [[ $CABLE == plugged ]]; then
    ip link set cable up || failed "cable up"
    sb_until grep -qsx 1 /sys/class/net/eth0/carrier || failed "no carrier"
fi

# The console: a pseudo-terminal of the sandbox, transcribed to $SB/console.
"$BUILD/sandbox/sbtool" watch "$SB/console" "$SB/console.tty" "$SB/led1" "$SB/wan" &
sb_until test -s "$SB/console.tty" || failed "no console"
mount --bind "$(cat "$SB/console.tty")" /dev/console || failed "console on /dev/console"

# The router's services, running before the daemon starts, as at boot.
sb_start boa -c /etc
for name in "${SB_SERVICES[@]:1}"; do sb_start "$name"; done
started() { (($(grep -c ' svc start ' "$SB/events") >= ${#SB_SERVICES[@]})); }
sb_until started || failed "stand-ins did not start"
printf '%s sandbox world cable=%s proto=%s\n' "$EPOCHREALTIME" "$CABLE" "$PROTO" >>"$SB/events"

# Left by an earlier run, to be replaced by the daemon's own pid file.
printf '4194303\nleft by an earlier run\n' >/var/run/morvid.pid

if [[ -n $INIT ]]; then
    # A busybox image: the project's inittab and rcS, morvid where it names it.
    SBIN=$(readlink -f /usr/sbin)
    overlay "$SBIN" sbin
    mount -t tmpfs -o mode=755 sandbox-initd /etc/init.d || failed "tmpfs on /etc/init.d"
    cp "$REPO/packaging/busybox/inittab" /etc/inittab || failed "inittab"
    cp "$REPO/packaging/busybox/rcS" /etc/init.d/ || failed "rcS"
    ln -sf "$DAEMON" "$SBIN/morvid"
    ln -sf "$(command -v busybox)" "$SBIN/start-stop-daemon"
    ln -sf "$(command -v busybox)" "$BIN/sh"
fi
# shellcheck disable=SC1090
[[ -z $SETUP ]] || source "$SETUP" || failed "setup $SETUP"

# The daemon from "/" in an environment of its own, or busybox init to start it.
env=(env -i PATH=/bin:/usr/bin:/sbin:/usr/sbin HOME=/ TERM=vt100 SB="$SB")
if [[ -n $INIT ]]; then
    : >"$SB/ready"
    cd / && exec "${env[@]}" busybox init </dev/console >/dev/console 2>&1
fi
# shellcheck disable=SC2153 # from $SB/conf
read -r -a wrap <<<"$WRAP"
((${#wrap[@]} == 0)) || wrap[0]=$(command -v "${wrap[0]}") || failed "no program ${wrap[0]} to run the daemon under"
pipe=
[[ $STDOUT == pipe ]] && pipe=--pipe
read -r uptime _ </proc/uptime
(cd / && exec "${env[@]}" "$BUILD/sandbox/sbtool" pty $pipe "$SB/morvid.pid" "$uptime" -- "${wrap[@]}" "$DAEMON" &)
sb_until test -s "$SB/morvid.pid" || failed "morvid did not start"
read -r SB_DAEMON_PID <"$SB/morvid.pid"

"$@"
