#!/bin/bash
# Builds the router's world inside the sandbox's fresh namespaces, starts the
# real morvid in it, then runs the command it was given. Started by
# sandbox/enter as the only child of the sandbox's PID 1, with /proc already
# that of the new PID namespace. Every mount made here lives in the private
# mount namespace: the host's files never change.
#
# From the environment: SB (the sandbox's directory), BUILD, REPO, PROTO,
# CABLE, DAEMON (the morvid to run), DAEMON_WRAP (a command to run it under,
# may be empty) and SETUP (a file to source before it starts, may be empty).
set -u
export LC_ALL=C

failed() {
    echo "sandbox: setup failed: $*" >&2
    exit 86
}

# The names morvid kills before restarting boa; each gets a stand-in.
KILL_LIST=(boa udhcpd upnp ripd dnrd crond syslogd ntpclient smtpclient getdeviceinfo httphijack pppd pptp bpalogin)

export SANDBOX_ROOT=$SB
export SANDBOX_EVENTS=$SB/events
export SANDBOX_LIB=$REPO/sandbox/lib.sh
: >>"$SANDBOX_EVENTS"
readlink /proc/self/ns/pid >"$SB/pidns"
mkdir -p "$SB/modes"

# Scratch space for the overlays, in memory and gone with the namespace.
mkdir -p "$SB/fs" || failed "mkdir $SB/fs"
mount -t tmpfs -o mode=755 sandbox-fs "$SB/fs" || failed "tmpfs on $SB/fs"

# /sys of the new network namespace, so that /sys/class/net/eth0 is the veth.
mount -t sysfs sysfs /sys || failed "sysfs"
# A private /var/run (on most systems a link to /run: the mount follows it).
mount -t tmpfs -o mode=755 sandbox-run /var/run || failed "tmpfs on /var/run"

# Host directories that must gain files get an overlay: the host's files
# show through, ours live only in the upper layer.
overlay() {
    local dir=$1 layer=$SB/fs/$2
    mkdir -p "$layer/upper" "$layer/work"
    mount -t overlay "sandbox-$2" -o "lowerdir=$dir,upperdir=$layer/upper,workdir=$layer/work" "$dir" ||
        failed "overlay on $dir"
}
BIN=$(readlink -f /bin)
overlay "$BIN" bin
overlay /etc etc

# The stand-ins: one program under every name the daemon starts or kills.
for name in "${KILL_LIST[@]}"; do
    ln -sf "$BUILD/sandbox/standin" "$BIN/$name"
done

# "x", run by the boa restart: it only records that it ran.
cat >"$BIN/x" <<EOF
#!/bin/bash
printf '%s x ran pid=%d\n' "\$EPOCHREALTIME" \$\$ >>"$SANDBOX_EVENTS"
EOF
chmod 755 "$BIN/x"

# The device library's configuration: NVRAM and the WAN action.
mkdir -p /etc/zuqutil
cat >/etc/zuqutil/nvram <<EOF
# NVRAM of the sandbox
wan_proto=$PROTO
wan_ifname=eth0
led1_path=$SB/led1
EOF
# The WAN action's requests go to a file of their own, which the watcher
# below reads together with LED 1, in the order they came.
: >"$SB/wan"
cat >/etc/zuqutil/wan.action <<EOF
#!/bin/bash
# Starting or stopping the WAN connection, reduced to recording the request.
echo "\$1 \$2" >>"$SB/wan"
echo "wan.action: \$2 \$1"
EOF
chmod 755 /etc/zuqutil/wan.action
: >"$SB/led1"

# The WAN port: a veth pair; "cable" going down or up is the cable pulled
# or plugged.
ip link set lo up || failed "loopback"
ip link add eth0 type veth peer name cable || failed "veth pair"
ip link set eth0 up || failed "eth0 up"
if [[ $CABLE == plugged ]]; then
    ip link set cable up || failed "cable up"
    for ((i = 0; i < 50; i++)); do
        [[ $(cat /sys/class/net/eth0/carrier 2>/dev/null) == 1 ]] && break
        sleep 0.05
    done
fi

# The console: a pseudo-terminal of the sandbox, transcribed to $SB/console.
"$BUILD/sandbox/sbtool" watch "$SB/console" "$SB/console.tty" "$SB/led1" "$SB/wan" &
for ((i = 0; i < 100; i++)); do
    [[ -s $SB/console.tty ]] && break
    sleep 0.02
done
mount --bind "$(cat "$SB/console.tty")" /dev/console || failed "console on /dev/console"

# The services of the router, running before the daemon starts, as they
# would at boot. Each is left to PID 1, like a server put in the background.
# shellcheck source=sandbox/lib.sh
source "$SANDBOX_LIB"
for name in "${KILL_LIST[@]}"; do
    if [[ $name == boa ]]; then SB_QUIET=1 sb_start boa -c /etc; else SB_QUIET=1 sb_start "$name"; fi
done
for ((i = 0; i < 100; i++)); do
    (($(grep -c ' svc start ' "$SANDBOX_EVENTS") >= ${#KILL_LIST[@]})) && break
    sleep 0.05
done
(($(grep -c ' svc start ' "$SANDBOX_EVENTS") >= ${#KILL_LIST[@]})) || failed "stand-ins did not start"

printf '%s sandbox world cable=%s proto=%s\n' "$EPOCHREALTIME" "$CABLE" "$PROTO" >>"$SANDBOX_EVENTS"

# Left by an earlier run, to be replaced by the daemon's own pid file.
printf '4194303\nleft by an earlier run\n' >/var/run/morvid.pid

if [[ -n $INIT ]]; then
    # A busybox image: the project's inittab and rcS, busybox's sh and
    # start-stop-daemon, morvid where the inittab names it.
    busybox=$(command -v busybox)
    SBIN=$(readlink -f /usr/sbin)
    overlay "$SBIN" sbin
    mount -t tmpfs -o mode=755 sandbox-initd /etc/init.d || failed "tmpfs on /etc/init.d"
    cp "$REPO/packaging/busybox/inittab" /etc/inittab || failed "inittab"
    cp "$REPO/packaging/busybox/rcS" /etc/init.d/rcS || failed "rcS"
    ln -sf "$DAEMON" "$SBIN/morvid"
    ln -sf "$busybox" "$SBIN/start-stop-daemon"
    ln -sf "$busybox" "$BIN/sh"
fi
if [[ -n $SETUP ]]; then
    # shellcheck disable=SC1090
    source "$SETUP" || failed "setup $SETUP"
fi
read -r -a wrap <<<"$DAEMON_WRAP"
if ((${#wrap[@]})); then
    wrap[0]=$(command -v "${wrap[0]}") || failed "no program ${DAEMON_WRAP%% *} to run the daemon under"
fi

# The daemon: from "/", with its standard output on a pseudo-terminal (or a
# pipe), in an environment of its own; or busybox init, which starts it.
env=(env -i PATH=/bin:/usr/bin:/sbin:/usr/sbin HOME=/ TERM=vt100
    SANDBOX_ROOT="$SANDBOX_ROOT" SANDBOX_EVENTS="$SANDBOX_EVENTS")
if [[ -n $INIT ]]; then
    : >"$SB/ready"
    cd / && exec "${env[@]}" busybox init </dev/console >/dev/console 2>&1
fi
pipe=
[[ $STDOUT == pipe ]] && pipe=--pipe
(cd / && exec "${env[@]}" "$BUILD/sandbox/sbtool" pty $pipe "$SB/morvid.pid" -- "${wrap[@]}" "$DAEMON" &)
for ((i = 0; i < 100; i++)); do
    [[ -s $SB/morvid.pid ]] && break
    sleep 0.02
done
[[ -s $SB/morvid.pid ]] || failed "morvid did not start"
read -r SB_DAEMON_PID <"$SB/morvid.pid"
export SB_DAEMON_PID

"$@"
rc=$?
# 86 is kept for a sandbox that could not be built.
exit $((rc == 86 ? 1 : rc))
