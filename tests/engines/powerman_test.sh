#!/usr/bin/env bash
# Debian's powermand drives the simulated unit with the checked-in device
# script, through "velmoractl shell" on the port itself (MODE direct) or
# through "velmoractl serve" holding it (MODE serve): pm -q, -1, -0, -c on
# host ranges and -t for the currents match the unit.
# Usage: powerman_test.sh VELMORACTL VELMORA_SIM DEVICE_SCRIPT MODE
VELMORACTL="$1"; SIM="$2"; SCRIPT="$3"; MODE="$4"
source "$(dirname "$0")/common.sh"
need powermand; need pm

start_unit 2
if [ "$MODE" = serve ]; then
  "$VELMORACTL" --port "$device" serve >"$work/serve.out" 2>&1 &
  pids+=($!)
  wait_for 30 grep -q Serving "$work/serve.out" || fail "serve did not start: $(cat "$work/serve.out")"
fi
start_powermand "$SCRIPT"

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
