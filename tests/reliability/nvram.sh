#!/bin/bash
# The NVRAM file missing, then garbled: the link is handled with the
# defaults (interface eth0, a protocol other than static, no LED), each
# pulled cable stopping the WAN connection and each plugged one starting
# it, and nothing from the garbage is taken for a setting. Once a sound
# file is back, it is used at the next look.
# Sandbox: uptime 1000 s, cable plugged, no NVRAM file (nvram.setup).
source "$(dirname "$0")/../e2e/check.sh"

NVRAM=/etc/zuqutil/nvram

# A pull and a plug; each must give exactly one action, on eth0.
cable_cycle() {
    local what=$1 pull plug
    pull=$(sb_ms)
    sb_pull
    await "$what: wan.action stop runs after the pull" 15 --after "$pull" '^wan eth0 stop$'
    plug=$(sb_ms)
    sb_plug
    await "$what: wan.action start runs after the plug" 10 --after "$plug" '^wan eth0 start$'
    sleep 0.5
    count_is "$what: one stop, one start" 2 --after "$pull" '^wan '
    none "$what: no LED write (no LED is named)" --after "$pull" '^led1 '
}

check "there is no NVRAM file" test ! -e "$NVRAM"
check "the first wait is cut short" sb_hurry_first_pass
sleep 1.5 # the first pass: the link is up, and taken as already started
cable_cycle "NVRAM missing"

# Garbage with keys that almost match, values too long to be handed out,
# and random bytes (NULs among them), the same each run. No line in it
# sets wan_ifname, wan_proto or led1_path.
perl -e '
    print "wan_ifnamewan0\nwan_ifname\n wan_ifname=wan0\n#wan_ifname=wan0\nWAN_IFNAME=wan0\n";
    print "wan_ifnam=wan0\nwan_ifname_x=wan0\nwan_proto\nled1_pat=/x\n=static\n";
    print "wan_proto=", "s" x 300, "\n", "led1_path=/", "x" x 600, "\n";
    srand(8);
    print map { chr(int(rand(256))) } 1 .. 65536;
' >"$NVRAM.new"
check "the garbage names no setting" test -z "$(grep -aE '^(wan_ifname|wan_proto|led1_path)=.{0,255}$' "$NVRAM.new")"
mv "$NVRAM.new" "$NVRAM" && sb_note "NVRAM garbled"
cable_cycle "NVRAM garbled"

# A sound file again: LED 1 is named, and set at the next down reading.
printf 'wan_proto=static\nwan_ifname=eth0\nled1_path=%s\n' "$SANDBOX_ROOT/led1" >"$NVRAM.new"
mv "$NVRAM.new" "$NVRAM" && sb_note "NVRAM sound again"
pull=$(sb_ms)
sb_pull
await "with NVRAM back, the pulled cable sets LED 1" 10 --after "$pull" '^led1 1$'
check "morvid still runs" sb_daemon_alive
none "morvid never ended" '^sandbox morvid-ended '
finish
