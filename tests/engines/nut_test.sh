#!/usr/bin/env bash
# NUT over powermand, as the README sets it up: Debian's powerman-pdu driver
# and upsd on loopback with the shipped examples (cli/nut: nut.conf,
# ups.conf, upsd.conf, upsd.users; the nodes and aliases of
# cli/powerman/powerman.conf), powermand driving the simulated unit through
# "velmoractl shell" with the checked-in device script. upsc lists every
# outlet with its state over IPv4 and IPv6, upscmd with the shipped user
# switches them, and outlet.N is plug N.
# Usage: nut_test.sh VELMORACTL VELMORA_SIM DEVICE_SCRIPT EXAMPLES (cli/)
VELMORACTL="$1"; SIM="$2"; SCRIPT="$3"; EXAMPLES="$4"
source "$(dirname "$0")/common.sh"
need powermand; need upsc; need upscmd
driver=/lib/nut/powerman-pdu
upsd=/lib/nut/upsd
[ -x "$driver" ] || fail "$driver is missing (nut-powerman-pdu)"
[ -x "$upsd" ] || fail "$upsd is missing (nut-server)"

start_unit 2
start_powermand "$SCRIPT" "$EXAMPLES/powerman/powerman.conf"
"$VELMORACTL" --port "$device" on 1 4 >/dev/null || fail "could not switch bank 1 port 4 on"

# The shipped files, with the test's ports in place of the standard ones.
export NUT_CONFPATH="$work/nut" NUT_STATEPATH="$work/nutstate"
mkdir -p "$NUT_CONFPATH" "$NUT_STATEPATH"
chmod 0700 "$NUT_STATEPATH"
port="$(free_port)"
cp "$EXAMPLES/nut/nut.conf" "$EXAMPLES/nut/upsd.users" "$NUT_CONFPATH/"
sed -e "s|^\([[:space:]]*port = \).*|\1$pm_host\n\tpollinterval = 1|" "$EXAMPLES/nut/ups.conf" >"$NUT_CONFPATH/ups.conf"
sed -e "s|^LISTEN \([^ ]*\)$|LISTEN \1 $port|" "$EXAMPLES/nut/upsd.conf" >"$NUT_CONFPATH/upsd.conf"
chmod 0600 "$NUT_CONFPATH"/*
grep -q "pollinterval" "$NUT_CONFPATH/ups.conf" || fail "ups.conf has no port line for powermand"
# upsd as Debian's nut-server.service starts it: /sbin/upsd reads nut.conf
# and starts nothing unless MODE lets it (here reading the shipped copy).
if [ -f /sbin/upsd ] && head -n1 /sbin/upsd | grep -q '^#!'; then
  sed "s|/etc/nut/nut.conf|$NUT_CONFPATH/nut.conf|g" /sbin/upsd >"$work/upsd-wrapper"
  upsd=(sh "$work/upsd-wrapper")
else
  upsd=("$upsd")
fi
# The upscmd user: the shipped upsd.users' first user and password.
nut_user="$(sed -n 's/^[[:space:]]*\[\(.*\)\][[:space:]]*$/\1/p' "$NUT_CONFPATH/upsd.users" | head -n1)"
nut_password="$(sed -n 's/^[[:space:]]*password[[:space:]]*=[[:space:]]*//p' "$NUT_CONFPATH/upsd.users" | head -n1)"
[ -n "$nut_user" ] && [ -n "$nut_password" ] || fail "upsd.users names no user with a password"

user="$(id -un)"
"$driver" -a rack1 -u "$user" -F >"$work/driver.log" 2>&1 &
pids+=($!)
"${upsd[@]}" -u "$user" -F >"$work/upsd.log" 2>&1 &
pids+=($!)
ups="rack1@127.0.0.1:$port"
wait_for 30 upsc "$ups" outlet.16.status || { cat "$work/driver.log" "$work/upsd.log"; fail "upsd lists no outlets"; }
[ "$(upsc "rack1@[::1]:$port" outlet.16.status 2>/dev/null)" = off ] ||
  fail "upsd does not answer on ::1: $(cat "$work/upsd.log")"

[ "$(upsc "$ups" outlet.4.status 2>/dev/null)" = on ] || fail "outlet 4 reads $(upsc "$ups" outlet.4.status)"
[ "$(upsc "$ups" outlet.5.status 2>/dev/null)" = off ] || fail "outlet 5 reads $(upsc "$ups" outlet.5.status)"
outlets="$(upsc "$ups" 2>/dev/null | grep -c '^outlet\.[0-9]*\.status:')"
[ "$outlets" -eq 16 ] || fail "upsc lists $outlets outlets, not 16"

nutcmd() { upscmd -u "$nut_user" -p "$nut_password" "$ups" "$1" >/dev/null 2>&1 || fail "upscmd $1 was refused"; }
nutcmd outlet.4.load.off
nutcmd outlet.12.load.on
wait_for 30 sh -c "[ \"\$(upsc '$ups' outlet.12.status 2>/dev/null)\" = on ]" || fail "outlet 12 never read on"
[ "$(port_states)" = "CCCCCCCC CCCOCCCC" ] || fail "the unit shows $(port_states) after upscmd"

# outlet.N is plug N: with every plug on, outlet.N.load.off leaves exactly
# plug N (bank (N-1)/8+1, port (N-1)%8+1) off. One row a plug: first and
# last of each bank, and plugs whose node names sort apart from their
# numbers unless the names keep plug order (3, 10).
all_on_but() {
  local plug states=""
  for plug in $(seq 1 16); do
    if [ "$plug" -eq "$1" ]; then states+="C"; else states+="O"; fi
    if [ "$plug" -eq 8 ]; then states+=" "; fi
  done
  echo "$states"
}
unit_shows() { [ "$(port_states)" = "$1" ]; }
"$VELMORACTL" --port "$device" on 0 0 >/dev/null || fail "could not switch every plug on"
for plug in 1 3 8 9 10 16; do
  nutcmd "outlet.$plug.load.off"
  want="$(all_on_but "$plug")"
  wait_for 30 unit_shows "$want" ||
    fail "upscmd outlet.$plug.load.off left the unit at $(port_states), not $want (outlet.$plug.desc: $(upsc "$ups" "outlet.$plug.desc" 2>/dev/null))"
  nutcmd "outlet.$plug.load.on"
  wait_for 30 unit_shows "OOOOOOOO OOOOOOOO" ||
    fail "upscmd outlet.$plug.load.on left the unit at $(port_states)"
done
echo "NUT: upsc lists the 16 outlets with their states, upscmd switches them on the simulated unit, outlet.N is plug N"
