#!/usr/bin/env bash
# Metrics for Prometheus: "velmoractl metrics" against the simulated unit
# (directly and through serve) passes Debian's "promtool check metrics",
# and "velmoractl serve --metrics" answers GET /metrics from its latest
# poll with the outlet just switched.
# The shipped node_exporter unit (cli/prometheus/velmora-metrics.service)
# verifies, and writes its file as an unprivileged user where Debian's
# prometheus-node-exporter reads it.
# Usage: metrics_test.sh VELMORACTL VELMORA_SIM PROMETHEUS_EXAMPLES
VELMORACTL="$1"; SIM="$2"; EXAMPLES="$3"
source "$(dirname "$0")/common.sh"
need promtool; need curl; need setpriv; need systemd-analyze

start_unit 2
"$VELMORACTL" --port "$device" on 1 2 >/dev/null || fail "could not switch bank 1 port 2 on"
"$VELMORACTL" --port "$device" metrics >"$work/direct.prom" || fail "velmoractl metrics failed"
promtool check metrics <"$work/direct.prom" || fail "promtool refuses: $(cat "$work/direct.prom")"
grep -q "^velmora_outlet_on{device=\"$device\",bank=\"1\",outlet=\"2\",name=\"\"} 1$" "$work/direct.prom" ||
  fail "no lit outlet 2 in $(cat "$work/direct.prom")"

# velmora-metrics.service as systemd runs it, in a temporary root: the
# textfile folder as Debian makes it (root's, 0755, in a folder of user
# prometheus), the unit's state folder as systemd makes it for its user,
# ExecStartPre ("+": as root) and ExecStart as the unit's user with its
# umask. Here the unit's user is nobody (given the port, as dialout gives
# velmora it) and daemon stands in for node_exporter's user.
share_velmoractl  # the unit's user runs it
unit="$EXAMPLES/velmora-metrics.service"
unit_value() { sed -n "s/^$1=//p" "$unit" | tail -n1; }
mkdir -p "$work/units"
for file in velmora-metrics.service velmora-metrics.timer; do
  sed -e "s|/usr/bin/velmoractl|$VELMORACTL|" -e '/^Documentation=/d' "$EXAMPLES/$file" >"$work/units/$file"
done
out="$(systemd-analyze verify "$work/units/velmora-metrics.service" "$work/units/velmora-metrics.timer" 2>&1 || true)"
[ -z "$out" ] || fail "systemd-analyze says: $out"

root="$work/root"
textfiles="$root/var/lib/prometheus/node-exporter"
mkdir -p "$textfiles"
chmod 0755 "$work" "$root" "$root/var" "$root/var/lib" "$textfiles"
chown daemon:daemon "$root/var/lib/prometheus"
state="$(unit_value StateDirectory)"
mode="$(unit_value StateDirectoryMode)"
[ -z "$state" ] || install -d -o nobody -g nogroup -m "${mode:-0755}" "$root/var/lib/$state"
# systemd's command lines: "$$" is "$"; the unit's paths moved into the root.
command_line() {
  unit_value "$1" | sed -e 's/\$\$/$/g' -e "s|/var/lib/|$root/var/lib/|g" -e "s|/usr/bin/velmoractl|$VELMORACTL|g"
}
as_unit_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups
  env HOME=/nonexistent VELMORA_PORT="$device" VELMORA_SOCKET_DIR="$VELMORA_SOCKET_DIR")
as_reader=(setpriv --reuid=daemon --regid=daemon --clear-groups)
"${as_unit_user[@]}" touch "$textfiles/probe.prom" 2>/dev/null &&
  fail "the unit's user may write into the textfile folder: the test does not stand for Debian's"
chown nobody "$device"
run_unit() {
  local pre umask; pre="$(command_line ExecStartPre)"
  if [ "${pre:0:1}" = + ]; then
    sh -c "${pre:1}" || fail "ExecStartPre failed: $pre"
  elif [ -n "$pre" ]; then
    "${as_unit_user[@]}" sh -c "$pre" || fail "ExecStartPre failed as the unit's user"
  fi
  umask="$(unit_value UMask)"
  "${as_unit_user[@]}" sh -c "umask ${umask:-0022}; $(command_line ExecStart)" ||
    fail "ExecStart failed as the unit's user"
}
run_unit
"${as_reader[@]}" cat "$textfiles/velmora.prom" >"$work/textfile.prom" || fail "node_exporter's user cannot read velmora.prom"
promtool check metrics <"$work/textfile.prom" || fail "promtool refuses the textfile"
grep -q "^velmora_up{device=\"$device\"} 1$" "$work/textfile.prom" || fail "the unit is not up in $(cat "$work/textfile.prom")"
grep -q "outlet=\"2\",name=\"\"} 1$" "$work/textfile.prom" || fail "the textfile does not show outlet 2 on"
# The timer's next run replaces the file.
"$VELMORACTL" --port "$device" off 1 2 >/dev/null || fail "could not switch bank 1 port 2 off"
run_unit
"${as_reader[@]}" grep -q "outlet=\"2\",name=\"\"} 0$" "$textfiles/velmora.prom" || fail "the second run did not replace velmora.prom"
[ "$(stat -c %U:%a "$textfiles")" = root:755 ] || fail "the textfile folder became $(stat -c %U:%a "$textfiles")"
[ "$(ls -A "$textfiles")" = velmora.prom ] || fail "the textfile folder holds $(ls -A "$textfiles")"
"$VELMORACTL" --port "$device" on 1 2 >/dev/null || fail "could not switch bank 1 port 2 on again"

port="$(free_port)"
"$VELMORACTL" --port "$device" serve --metrics "127.0.0.1:$port" >"$work/serve.out" 2>&1 &
pids+=($!)
wait_for 30 grep -q Metrics "$work/serve.out" || fail "serve did not start: $(cat "$work/serve.out")"
"$VELMORACTL" --port "$device" metrics >"$work/owner.prom" || fail "velmoractl metrics through serve failed"
promtool check metrics <"$work/owner.prom" || fail "promtool refuses the owner's metrics"
"$VELMORACTL" --port "$device" off 1 2 >/dev/null || fail "could not switch bank 1 port 2 off through serve"
curl -sf "http://127.0.0.1:$port/metrics" >"$work/http.prom" || fail "GET /metrics failed"
promtool check metrics <"$work/http.prom" || fail "promtool refuses GET /metrics"
grep -q "^velmora_up{device=\"$device\"} 1$" "$work/http.prom" || fail "the unit is not up in $(cat "$work/http.prom")"
grep -q "outlet=\"2\",name=\"\"} 0$" "$work/http.prom" || fail "GET /metrics still shows outlet 2 on"
echo "metrics: promtool accepts them directly, from velmora-metrics.service as its user, through serve and over HTTP"
