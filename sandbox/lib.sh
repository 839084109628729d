# shellcheck shell=bash
# Helpers for use inside the sandbox (sandbox/enter): acting on the router
# the daemon runs in, and reading the sandbox's event log.
#
# The event log ($SANDBOX_EVENTS) has one line per event:
#   <seconds.micros> <source> <text>
# with these sources:
#   sandbox  world cable=plugged|pulled proto=P (before morvid starts) |
#            morvid-started pid=N uptime=U | morvid-ended pid=N signal=S|exit=N
#   out      a line morvid printed on its standard output (a pseudo-terminal)
#   console  a line written to /dev/console
#   led1     a value written to LED 1 (stamped as the write is noticed)
#   wan      IF start|stop: /etc/zuqutil/wan.action was run (logged, with
#            led1, in the order they came)
#   x        ran pid=N: the command "x" was run
#   svc      start NAME pid=N ppid=N pidfile=absent|stale:OLD cwd=DIR args=...
#            signal NAME pid=N sig=S from=PID | exit NAME pid=N status=N
#   reap     NAME pid=N signal=S|exit=N: how a process left to PID 1 ended
#   act      something done to the sandbox by the one driving it
#
# Stamps are seconds and microseconds of the wall clock; sb_ms gives ms.

# Milliseconds of a "seconds.micros" stamp, or of now.
sb_ms() {
    local t=${1:-$EPOCHREALTIME}
    local s=${t%.*} f=${t#*.}000
    echo $((s * 1000 + 10#${f:0:3}))
}

# When the daemon was started, in ms.
sb_t0() {
    sb_ms "$(awk '$2 == "sandbox" && $3 == "morvid-started" { print $1; exit }' "$SANDBOX_EVENTS")"
}

sb_note() {
    printf '%s act %s\n' "$EPOCHREALTIME" "$*" >>"$SANDBOX_EVENTS"
}

# Event lines in time order whose "source text" matches the extended regular
# expression RE, optionally only those stamped later than STAMP (to the
# microsecond).
#   sb_events [--past STAMP] RE
sb_events() {
    local past=0
    [[ $1 == --past ]] && { past=$2; shift 2; }
    sort -s -n -k1,1 "$SANDBOX_EVENTS" | RE=$1 awk -v past="$past" '
        function us(t,    p) { split(t, p, "."); return p[1] * 1000000 + substr(p[2] "000000", 1, 6) }
        BEGIN { past = us(past) }
        us($1) > past && substr($0, index($0, " ") + 1) ~ ENVIRON["RE"]'
}

sb_first() { sb_events "$@" | head -n 1; }
sb_count() { sb_events "$@" | wc -l; }

# Waits up to SECONDS for an event; prints the first match, fails on timeout.
#   sb_wait SECONDS [--past STAMP] RE
sb_wait() {
    local deadline=$(($(sb_ms) + $1 * 1000)) line
    shift
    while :; do
        line=$(sb_first "$@")
        [[ -n $line ]] && { echo "$line"; return 0; }
        (($(sb_ms) < deadline)) || return 1
        sleep 0.1
    done
}

# Stories (the tour, the fault cases) check what they cause: an action marks
# the time (SB_MARK, a stamp), sb_see waits for an event after the mark and
# moves the mark to it, so a story checks order as well. A miss is noted in
# the log, where the timeline shows it, and counted in SB_MISSED.
SB_MARK=0 SB_MISSED=0
sb_mark() { SB_MARK=$EPOCHREALTIME; }
sb_miss() {
    SB_MISSED=$((SB_MISSED + 1))
    sb_note "NOT SEEN: $*"
    echo "NOT SEEN: $*" >&2
}
#   sb_see RE [SECONDS [WHAT]]       (default 15 s)
sb_see() {
    local line
    if line=$(sb_wait "${2:-15}" --past "$SB_MARK" "$1"); then
        SB_MARK=${line%% *}
    else
        sb_miss "${3:-$1} (within ${2:-15} s)"
    fi
}
#   sb_holds WHAT COMMAND...
sb_holds() {
    local what=$1
    shift
    "$@" || sb_miss "$what"
}

# The daemon's number for a signal: the target's own, which for a MIPS
# daemon run under qemu is not the build machine's.
sb_signum() {
    if readelf -h "$DAEMON" 2>/dev/null | grep -q 'Machine:.*MIPS'; then
        case $1 in HUP) echo 1 ;; USR1) echo 16 ;; USR2) echo 17 ;; TERM) echo 15 ;; esac
    else
        kill -l "$1"
    fi
}

# Pids of the live (non-zombie) processes of that name.
sb_pidof() {
    local d comm stat
    for d in /proc/[0-9]*; do
        read -r comm <"$d/comm" 2>/dev/null || continue
        [[ $comm == "$1" ]] || continue
        read -r stat <"$d/stat" 2>/dev/null || continue
        stat=${stat##*) }
        [[ ${stat:0:1} == Z ]] || echo "${d#/proc/}"
    done
}

# Zombies as "pid comm parent-pid parent-comm" lines.
sb_zombies() {
    local d comm stat ppid pcomm
    for d in /proc/[0-9]*; do
        read -r stat <"$d/stat" 2>/dev/null || continue
        comm=${stat#*(} comm=${comm%)*}
        stat=${stat##*) }
        [[ ${stat:0:1} == Z ]] || continue
        ppid=${stat#* } ppid=${ppid%% *}
        read -r pcomm <"/proc/$ppid/comm" 2>/dev/null
        echo "${d#/proc/} $comm $ppid ${pcomm:-?}"
    done
}

# Starts a service's stand-in as the router's boot would: from "/", in the
# background, left to PID 1.
#   sb_start NAME [ARGS...]
sb_start() {
    local name=$1
    shift
    [[ -n ${SB_QUIET:-} ]] || sb_note "started $name${*:+ $*}"
    (cd / && exec "/bin/$name" "$@" </dev/null >/dev/null 2>&1 &)
}

# Makes the next instances of a service exit with STATUS right after they
# start (a crash-looping server), or start normally again with "off".
#   sb_crashloop NAME STATUS|off
sb_crashloop() {
    if [[ $2 == off ]]; then
        rm -f "$SANDBOX_ROOT/modes/$1"
    else
        echo "exit $2" >"$SANDBOX_ROOT/modes/$1"
    fi
    sb_note "$1 crash-loop: $2"
}

# Kills every live instance of a service with a signal (default KILL).
#   sb_kill NAME [SIGNAL]
sb_kill() {
    local name=$1 sig=${2:-KILL} pids
    mapfile -t pids < <(sb_pidof "$name")
    ((${#pids[@]})) || { echo "sb_kill: no $name running" >&2; return 1; }
    sb_note "kill -$sig $name (pid ${pids[*]})"
    kill -s "$sig" "${pids[@]}"
}

# Sends a signal to the daemon.
sb_sig() {
    sb_note "signal $1 to morvid (pid $SB_DAEMON_PID)"
    kill -s "$1" "$SB_DAEMON_PID"
}

# Actions are noted before they are done, so what they cause comes after.
sb_pull() {
    sb_note "cable pulled"
    ip link set cable down
}

sb_plug() {
    sb_note "cable plugged"
    ip link set cable up
}

# Sets an NVRAM value, replacing the file in one step so that the library
# never reads it half-written.
#   sb_nvram KEY VALUE
sb_nvram() {
    local file=/etc/zuqutil/nvram
    { grep -v "^$1=" "$file"; echo "$1=$2"; } >"$file.new" && mv "$file.new" "$file" &&
        sb_note "nvram $1=$2"
}

# Whether the daemon is alive (and not a zombie).
sb_daemon_alive() {
    local stat
    read -r stat <"/proc/$SB_DAEMON_PID/stat" 2>/dev/null || return 1
    stat=${stat##*) }
    [[ ${stat:0:1} != Z ]]
}

# Waits until the daemon has its handlers in place (SIGUSR1, SIGUSR2 and
# SIGHUP caught), so that a signal sent after this is the daemon's to handle.
sb_wait_daemon_ready() {
    local i mask want
    want=$(((1 << ($(kill -l USR1) - 1)) | (1 << ($(kill -l USR2) - 1)) | (1 << ($(kill -l HUP) - 1))))
    for ((i = 0; i < 100; i++)); do
        mask=$(awk '$1 == "SigCgt:" { print $2 }' "/proc/$SB_DAEMON_PID/status" 2>/dev/null)
        [[ -n $mask ]] && (((16#$mask & want) == want)) && return 0
        sleep 0.05
    done
    return 1
}

# The event log as a readable timeline in the order things happened, times
# from the daemon's start (or from T0_MS): sandbox/timeline, which also
# follows the log live and draws it.
#   sb_timeline [T0_MS]
SB_TIMELINE=$(dirname "${BASH_SOURCE[0]}")/timeline
sb_timeline() {
    "$SB_TIMELINE" ${1:+--t0 "$1"} "$SANDBOX_EVENTS"
}

# What the daemon holds, for comparing before and after a long run:
# its open descriptors as "FD TARGET" lines (the pid in a /proc/PID/...
# target shown as N, since the process watched changes), a field of its
# /proc status in kB (VmRSS, RssAnon ...), and the names of the sandbox's
# processes, one a line, sorted.
sb_daemon_fds() {
    local fd
    for fd in "/proc/$SB_DAEMON_PID/fd/"*; do
        [[ -e $fd || -L $fd ]] || continue
        echo "${fd##*/} $(readlink "$fd" | sed 's|^/proc/[0-9]*/|/proc/N/|')"
    done | sort -n
}
sb_daemon_kb() {
    awk -v key="$1:" '$1 == key { print $2 }' "/proc/$SB_DAEMON_PID/status"
}
sb_processes() {
    local d comm names=()
    # All read before sort starts, so that sort is never one of them.
    for d in /proc/[0-9]*; do
        read -r comm 2>/dev/null <"$d/comm" && names+=("$comm")
    done
    printf '%s\n' "${names[@]}" | sort
}

# Ends the daemon's first wait (10 s) at once with a SIGHUP, which it only
# logs: for cases whose point is not the pacing. Sent once the daemon is
# asleep in that wait, so that the signal cuts it rather than coming
# before it.
sb_hurry_first_pass() {
    local i wchan
    sb_wait_daemon_ready || return 1
    for ((i = 0; i < 100; i++)); do
        read -r wchan 2>/dev/null <"/proc/$SB_DAEMON_PID/wchan"
        [[ $wchan == *sleep* ]] && break
        sleep 0.02
    done
    sb_sig HUP
}
