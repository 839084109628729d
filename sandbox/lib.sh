# shellcheck shell=bash
# The sandbox from the inside, for the tour, the fault rows, the benchmark and the shell alike.
# sandbox/run exports SB, the sandbox's directory; all else is a file in it: conf (the settings),
# lib.sh, events (the log), morvid.pid, led1, wan (the WAN action's requests), console, modes/NAME.
# The event log, "<seconds.micros> <source> <text>" on the wall clock:
#   sandbox  world cable=C proto=P | morvid-started pid=N uptime=U | morvid-ended pid=N signal=S|exit=N
#   out | console   a line morvid printed | a line written to /dev/console
#   led1 | wan      a value written to LED 1 | IF start|stop: the WAN action ran
#   x        ran pid=N: the command "x" ran
#   svc      start NAME pid=N ppid=N pidfile=absent|stale:OLD cwd=DIR args=... |
#            signal NAME pid=N sig=S from=PID | exit NAME pid=N status=N
#   reap     NAME pid=N signal=S|exit=N: how a process left to PID 1 ended
#   act      something done to the sandbox (each action below notes itself)
# shellcheck source=/dev/null
source "$SB/conf"
[[ -s $SB/morvid.pid ]] && read -r SB_DAEMON_PID <"$SB/morvid.pid"
# The router's services, in the daemon's kill list, the one place they are named.
mapfile -t SB_SERVICES < <(grep -v '^#' "$REPO/services/kill_list.cpp" | grep -o '"[^"]*"' | tr -d '"')

# ---- the event log ----------------------------------------------------------
# Milliseconds of a "seconds.micros" stamp, or of now.
sb_ms() {
    local t=${1:-$EPOCHREALTIME} f
    f=${t#*.}000 && echo $((${t%.*} * 1000 + 10#${f:0:3}))
}
sb_t0() { sb_ms "$(awk '$2 == "sandbox" && $3 == "morvid-started" { print $1; exit }' "$SB/events")"; }
sb_note() { printf '%s act %s\n' "$EPOCHREALTIME" "$*" >>"$SB/events"; }
# sb_events [--past STAMP] RE: lines in time order whose "source text" matches the ERE RE.
sb_events() {
    local past=0
    [[ $1 == --past ]] && { past=$2; shift 2; }
    sort -s -n -k1,1 "$SB/events" | RE=$1 awk -v past="$past" '
        function us(t,    p) { split(t, p, "."); return p[1] * 1000000 + substr(p[2] "000000", 1, 6) }
        BEGIN { past = us(past) }
        us($1) > past && substr($0, index($0, " ") + 1) ~ ENVIRON["RE"]'
}
sb_first() { sb_events "$@" | head -n 1; }
sb_count() { sb_events "$@" | wc -l; }
# sb_wait SECONDS [--past STAMP] RE: the first such event, waited for.
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
# Whether COMMAND succeeds within 5 s, tried every 50 ms.
sb_until() {
    local i
    for ((i = 0; i < 100; i++)); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}
# Stories check what they cause: an action marks the time (SB_MARK), sb_see waits for an event
# after it and moves the mark there, so order is checked too. A miss is noted in the log (the
# timeline shows it), counted in SB_MISSED.
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
# sb_soon RE [WHAT]: an event within a second of the mark, either side, for what two processes
# do at once ("/bin/dnrd &" returns before dnrd).
sb_soon() {
    local line
    if ! line=$(sb_wait 2 --past "$((${SB_MARK%.*} - 1)).${SB_MARK#*.}" "$1") ||
        (($(sb_ms "${line%% *}") - $(sb_ms "$SB_MARK") > 1000)); then
        sb_miss "${2:-$1} (within a second)"
    fi
}
#   sb_holds WHAT COMMAND...
sb_holds() { "${@:2}" || sb_miss "$1"; }
sb_timeline() { "$REPO/sandbox/timeline" "$@" "$SB/events"; }

# ---- actions: each noted (WHAT) before it is done, its time marked -------
sb_act() {
    sb_mark
    sb_note "$1"
    "${@:2}"
}
act() { sb_act "$*" "$@"; } # any command, noted as it stands
pull() { sb_act "cable pulled" ip link set cable down; }
plug() { sb_act "cable plugged" ip link set cable up; }
sig() { sb_act "signal ${1#SIG} to morvid (pid $SB_DAEMON_PID)" kill -s "${1#SIG}" "$SB_DAEMON_PID"; }
# Every running instance of a service, by signal (default KILL); marked even where none runs.
kill-service() {
    local pids
    sb_mark
    mapfile -t pids < <(sb_pidof "$1")
    ((${#pids[@]})) || { echo "no $1 running" >&2; return 1; }
    sb_act "kill -${2:-KILL} $1 (pid ${pids[*]})" kill -s "${2:-KILL}" "${pids[@]}"
}
# A service started as the router's boot starts it: from "/", left to PID 1.
start-service() { sb_act "started $*" sb_start "$@"; }
sb_start() { (cd / && exec "/bin/$1" "${@:2}" </dev/null >/dev/null 2>&1 &); }
# New instances of a service exit at once with STATUS, or start again ("off").
crash-loop() { sb_act "$1 crash-loop: $2" sb_mode "$@"; }
sb_mode() { if [[ $2 == off ]]; then rm -f "$SB/modes/$1"; else echo "exit $2" >"$SB/modes/$1"; fi; }
# Shows NVRAM, or sets a value (the file replaced whole, never read half-written).
nvram() {
    (($# == 2)) || { grep -v '^#' /etc/zuqutil/nvram; return; }
    sb_act "nvram $1=$2" sb_nvram "$@"
}
sb_nvram() {
    local file=/etc/zuqutil/nvram
    { grep -v "^$1=" "$file"; echo "$1=$2"; } >"$file.new" && mv "$file.new" "$file"
}

# ---- processes --------------------------------------------------------------
# What the tour asks of its world (sandbox/tour.sh), here.
# shellcheck disable=SC2034 # read by the tour
WORLD="a sandbox" WORLD_RESPAWN=0
sb_in() { bash -c "$1" | tr '\n' /; }
# Pids of the live (not zombie) processes of that kernel name.
sb_pidof() { ps -e -o pid=,stat=,comm= | awk -v name="$1" '$3 == name && $2 !~ /^Z/ { print $1 }'; }
# Zombies, as "pid name parent" lines.
sb_zombies() { ps -e -o pid=,stat=,comm=,ppid= | awk '$2 ~ /^Z/ { print $1, $3, $4 }'; }
sb_daemon_alive() { [[ $(ps -o stat= -p "$SB_DAEMON_PID") == [^Z]* ]]; }
# The daemon's number for a signal: a MIPS daemon under qemu has its own.
sb_signum() {
    local -A mips=([HUP]=1 [USR1]=16 [USR2]=17 [TERM]=15)
    if readelf -h "$DAEMON" 2>/dev/null | grep -q 'Machine:.*MIPS'; then
        echo "${mips[$1]}"
    else
        kill -l "$1"
    fi
}
# Waits until the daemon catches SIGHUP, SIGUSR1 and SIGUSR2, in the numbers of the kernel that
# reports them (under qemu-user, the host's: it is qemu that catches them).
sb_wait_daemon_ready() {
    local mask=0 sig
    for sig in HUP USR1 USR2; do mask=$((mask | 1 << ($(kill -l "$sig") - 1))); done
    sb_until sb_catches "$mask"
}
sb_catches() {
    [[ $(sb_in "grep SigCgt /proc/$SB_DAEMON_PID/status") =~ ([0-9a-f]{8})/$ ]] &&
        (((16#${BASH_REMATCH[1]} & $1) == $1))
}
# Ends the daemon's first wait (10 s) with a SIGHUP, which it only logs.
sb_hurry_first_pass() { sb_wait_daemon_ready && sb_until sb_asleep && sig HUP; }
sb_asleep() { [[ $(ps -o wchan= -p "$SB_DAEMON_PID") == *sleep* ]]; }
# What the daemon holds: its descriptors ("FD TARGET", /proc/PID/ as N), a status field, processes.
sb_daemon_fds() {
    find "/proc/$SB_DAEMON_PID/fd/" -mindepth 1 -printf '%f %l\n' | sed 's| /proc/[0-9]*/| /proc/N/|' | sort -n
}
sb_daemon_kb() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$SB_DAEMON_PID/status"; }
sb_processes() { sort <<<"$(ps -e -o comm=)"; } # ps done before sort starts, never listing it

# ---- load and cost ----------------------------------------------------------
# N idle processes more for every look through /proc to pass: forks of one perl.
sb_crowd() {
    perl -e 'for (1 .. $ARGV[0]) { defined(my $pid = fork) or die "fork: $!\n"; $pid or sleep }' "$1" \
        </dev/null >/dev/null && sb_note "$1 idle processes started"
}
# System calls per pass over PASSES steady passes, by strace (summary in FILE), from within one
# wait to within another: the first ends as restart_syscall, the last is not counted.
sb_syscalls_per_pass() {
    local tracer
    strace -f -c -o "$2" -p "$SB_DAEMON_PID" 2>/dev/null &
    tracer=$!
    sleep $((5 * $1 + 2))
    sb_until sb_asleep
    kill -INT "$tracer"
    wait "$tracer"
    awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { calls += $4; if ($NF ~ /nanosleep$|^restart_syscall$/) waits += $4 }
        END { print waits ? int(calls / waits) : "none" }' "$2"
}
# The same for a daemon of another CPU under qemu-user "-d strace -D LOG", from wait to wait in
# that log; this qemu has no name for MIPS o32's clock_nanosleep_time64 ("Unknown syscall 4407").
sb_qemu_syscalls_per_pass() {
    local from
    from=$(wc -l <"$2")
    sleep $((5 * $1 + 2))
    tail -n "+$((from + 1))" "$2" | awk '$2 !~ /^[a-z_0-9]+\(/ && $2 $3 != "Unknownsyscall" { next }
        waits { pending++ }
        $2 ~ /nanosleep/ || $4 == 4407 { if (waits++) { calls += pending; pending = 0 } }
        END { print (waits > 1 ? int(calls / (waits - 1)) : "none") }'
}

# ---- the shell (sandbox/run --shell) ----------------------------------------
[[ $- == *i* ]] || return 0
HISTFILE=$SB/history
PS1='morvid-sandbox# '
timeline() { sb_timeline "$@"; }
follow() { echo "(Ctrl-C to stop following)" && sb_timeline --follow; }
services() {
    ps -o pid,ppid,stat,etime,args -p "$(for n in morvid "${SB_SERVICES[@]}"; do sb_pidof "$n"; done | paste -sd,)"
}
led() { cat "$SB/led1"; }
console() { tr -d '\r' <"$SB/console"; }
help() {
    cat <<'TEXT'
morvid runs in this sandbox (its pid: see "services"). Commands:
  pull | plug                 pull or plug the WAN cable (eth0's peer goes down or up)
  kill-service NAME [SIGNAL]  kill a service (default SIGKILL), e.g. kill-service dnrd
  start-service NAME [ARGS]   start a service's stand-in
  crash-loop NAME N|off       make new instances of a service exit at once with status N
  sig USR1|USR2|HUP|TERM      send morvid a signal
  nvram [KEY VALUE]           show NVRAM, or set a value (e.g. nvram wan_proto dhcp)
  timeline | follow           what happened so far | the same, then live
  timeline --picture FILE     draw it as an SVG, a lane per thing to follow
  services | led | console    running services | LED 1's value | console output
  exit                        end the sandbox (nothing is left behind)
TEXT
}
help
