#!/usr/bin/env bash
# NUT over powermand: Debian's powerman-pdu driver and upsd on loopback,
# powermand driving the simulated unit through "velmoractl shell" with the
# checked-in device script. upsc lists every outlet with its state,
# upscmd switches one.
# Usage: nut_test.sh VELMORACTL VELMORA_SIM DEVICE_SCRIPT
VELMORACTL="$1"; SIM="$2"; SCRIPT="$3"
source "$(dirname "$0")/common.sh"
need powermand; need upsc; need upscmd
driver=/lib/nut/powerman-pdu
upsd=/lib/nut/upsd
[ -x "$driver" ] || fail "$driver is missing (nut-powerman-pdu)"
[ -x "$upsd" ] || fail "$upsd is missing (nut-server)"

start_unit 2
start_powermand "$SCRIPT"
"$VELMORACTL" --port "$device" on 1 4 >/dev/null || fail "could not switch bank 1 port 4 on"

export NUT_CONFPATH="$work/nut" NUT_STATEPATH="$work/nutstate"
mkdir -p "$NUT_CONFPATH" "$NUT_STATEPATH"
chmod 0700 "$NUT_STATEPATH"
port="$(free_port)"
cat >"$NUT_CONFPATH/ups.conf" <<CONF
[rack1]
	driver = powerman-pdu
	port = $pm_host
	pollinterval = 1
CONF
echo "LISTEN 127.0.0.1 $port" >"$NUT_CONFPATH/upsd.conf"
printf '[admin]\n\tpassword = velmora\n\tinstcmds = ALL\n' >"$NUT_CONFPATH/upsd.users"
chmod 0600 "$NUT_CONFPATH"/*
user="$(id -un)"
"$driver" -a rack1 -u "$user" -F >"$work/driver.log" 2>&1 &
pids+=($!)
"$upsd" -u "$user" -F >"$work/upsd.log" 2>&1 &
pids+=($!)
ups="rack1@127.0.0.1:$port"
wait_for 30 upsc "$ups" outlet.16.status || { cat "$work/driver.log" "$work/upsd.log"; fail "upsd lists no outlets"; }

[ "$(upsc "$ups" outlet.4.status 2>/dev/null)" = on ] || fail "outlet 4 reads $(upsc "$ups" outlet.4.status)"
[ "$(upsc "$ups" outlet.5.status 2>/dev/null)" = off ] || fail "outlet 5 reads $(upsc "$ups" outlet.5.status)"
outlets="$(upsc "$ups" 2>/dev/null | grep -c '^outlet\.[0-9]*\.status:')"
[ "$outlets" -eq 16 ] || fail "upsc lists $outlets outlets, not 16"

upscmd -u admin -p velmora "$ups" outlet.4.load.off >/dev/null 2>&1 || fail "upscmd outlet.4.load.off was refused"
upscmd -u admin -p velmora "$ups" outlet.12.load.on >/dev/null 2>&1 || fail "upscmd outlet.12.load.on was refused"
wait_for 30 sh -c "[ \"\$(upsc '$ups' outlet.12.status 2>/dev/null)\" = on ]" || fail "outlet 12 never read on"
[ "$(port_states)" = "CCCCCCCC CCCOCCCC" ] || fail "the unit shows $(port_states) after upscmd"
echo "NUT: upsc lists the 16 outlets with their states, upscmd switches them on the simulated unit"
