# shellcheck shell=bash disable=SC2034 # OPTIONS: read by the runner
# No eth0 (named otherwise, then deleted): no WAN action and no LED write
# while it is missing, and both again once it is back.
OPTIONS=(--cable plugged)
setup() { ip link set eth0 down && ip link set eth0 name wan0 && ip link set wan0 up; }
story() { skip_first_wait; stop_service dnrd; sb_see "^svc start dnrd "
    pull; nothing_for 6 "^(wan|led1) "; plug
    act ip link set wan0 down; ip link set wan0 name eth0; ip link set eth0 up
    nothing_for 6 "^(wan|led1) "
    pull; sb_see "^led1 1$"; sb_see "^wan eth0 stop$"
    act ip link del eth0; nothing_for 6 "^(wan|led1) "
    act ip link add eth0 type veth peer name cable; ip link set eth0 up; ip link set cable up
    sb_see "^wan eth0 start$"; still_running
}
