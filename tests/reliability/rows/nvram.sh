# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# The NVRAM store missing, then garbled: the WAN action still runs for eth0
# at each cable change, and LED 1, whose path only NVRAM names, is left
# alone; once NVRAM names it again, it is written.
OPTIONS=(--cable plugged)
setup() { rm /etc/zuqutil/nvram; }
# Keys that almost match, values too long to hand out, random bytes; none
# names wan_ifname, wan_proto or led1_path.
garble_nvram() {
    perl -e 'print "wan_ifnamewan0\n wan_ifname=wan0\n#wan_ifname=wan0\nWAN_IFNAME=wan0\nwan_ifname_x=x\n";
        print "wan_proto\n=static\nwan_proto=", "s" x 300, "\nled1_path=/", "x" x 600, "\n";
        srand(8); print map { chr(int(rand(256))) } 1 .. 65536' >"$1.new" && mv "$1.new" "$1"
}
story() { skip_first_wait; sleep 1.5
    pull; sb_see "^wan eth0 stop$"; plug; sb_see "^wan eth0 start$"
    act garble_nvram /etc/zuqutil/nvram
    pull; sb_see "^wan eth0 stop$"; plug; sb_see "^wan eth0 start$"
    never_seen "^led1 "
    act rm /etc/zuqutil/nvram; nvram led1_path "$SB/led1"
    pull; sb_see "^led1 1$"; still_running
}
