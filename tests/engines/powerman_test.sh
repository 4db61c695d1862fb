#!/usr/bin/env bash
# Debian's powermand drives the simulated unit with the checked-in device
# script, through "velmoractl shell" on the port itself (MODE direct) or
# through "velmoractl serve --group" holding it (MODE serve; powermand then
# runs as user daemon in that group, as Debian's powerman.service runs it):
# pm -q, -1, -0, -c on host ranges and -t for the currents match the unit.
# Usage: powerman_test.sh VELMORACTL VELMORA_SIM DEVICE_SCRIPT MODE
VELMORACTL="$1"; SIM="$2"; SCRIPT="$3"; MODE="$4"
source "$(dirname "$0")/common.sh"
need powermand; need pm

start_unit 2
if [ "$MODE" = serve ]; then
  # As Debian runs powermand (user daemon), let in by the group that
  # "serve --group" names and nothing else: a throwaway group here.
  need groupadd; need setpriv
  group="velmora-pm-$$"
  groupadd "$group" || fail "groupadd $group failed (the test runs as root)"
  afterwards+=("groupdel '$group'")
  share_velmoractl  # daemon runs it, reads powerman.conf and reaches the socket folder
  "$VELMORACTL" --port "$device" serve --group "$group" >"$work/serve.out" 2>&1 &
  pids+=($!)
  wait_for 30 grep -q Serving "$work/serve.out" || fail "serve did not start: $(cat "$work/serve.out")"
  as_daemon=(setpriv --reuid=daemon --regid=daemon)
  home=(env HOME="$(getent passwd daemon | cut -d: -f6)")
  out="$("${as_daemon[@]}" --clear-groups "${home[@]}" "$VELMORACTL" --port "$device" status 2>&1)" &&
    fail "daemon outside the group reached the unit: $out"
  "${as_daemon[@]}" --groups="$group" "${home[@]}" "$VELMORACTL" --port "$device" status >/dev/null ||
    fail "daemon in the group $group cannot use serve's socket"
  pm_run_as=("${as_daemon[@]}" --groups="$group" "${home[@]}")
fi
start_powermand "$SCRIPT"
if [ "$MODE" = serve ]; then
  [ "$(ps -o user= -p "${pids[-1]}")" = daemon ] || fail "powermand does not run as daemon"
fi

query() { pm -h "$pm_host" -q | tr -s ' ' | sed 's/ *$//'; }
expect_query() {
  local got; got="$(query)"
  [ "$got" = "$(printf '%s\n' "$@")" ] || fail "pm -q says \"$got\", expected \"$*\""
}

expect_query "on:" "off: n[1-16]" "unknown:"
pm -h "$pm_host" -1 'n[1-3,9]' | grep -q "Command completed successfully" || fail "pm -1 failed"
expect_query "on: n[1-3,9]" "off: n[4-8,10-16]" "unknown:"
[ "$(port_states)" = "OOOCCCCC OCCCCCCC" ] || fail "the unit shows $(port_states) after pm -1"
pm -h "$pm_host" -0 n2 | grep -q "Command completed successfully" || fail "pm -0 failed"
[ "$(port_states)" = "OCOCCCCC OCCCCCCC" ] || fail "the unit shows $(port_states) after pm -0"
pm -h "$pm_host" -c 'n[1-2]' | grep -q "Command completed successfully" || fail "pm -c failed"
[ "$(port_states)" = "OOOCCCCC OCCCCCCC" ] || fail "the unit shows $(port_states) after pm -c"
# All of one bank and the whole unit go as single commands.
pm -h "$pm_host" -1 'n[1-16]' | grep -q "Command completed successfully" || fail "pm -1 of all failed"
[ "$(port_states)" = "OOOOOOOO OOOOOOOO" ] || fail "the unit shows $(port_states) after all on"

# The currents: each plug reads its bank's.
temps="$(pm -h "$pm_host" -t 'n[1,9]')"
b1="$(bank_current 1)"; b2="$(bank_current 2)"
echo "$temps" | grep -qx "n1: ${b1}.*A" || echo "$temps" | grep -q "n1: $b1" || fail "pm -t says \"$temps\", bank 1 draws $b1 A"
echo "$temps" | grep -q "n9: $b2" || fail "pm -t says \"$temps\", bank 2 draws $b2 A"
echo "powerman ($MODE): pm -q, -1, -0, -c and -t match the simulated unit"
