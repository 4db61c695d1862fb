#!/usr/bin/env bash
# Metrics for Prometheus: "velmoractl metrics" against the simulated unit
# (directly and through serve) passes Debian's "promtool check metrics",
# and "velmoractl serve --metrics" answers GET /metrics from its latest
# poll with the outlet just switched.
# Usage: metrics_test.sh VELMORACTL VELMORA_SIM
VELMORACTL="$1"; SIM="$2"
source "$(dirname "$0")/common.sh"
need promtool; need curl

start_unit 2
"$VELMORACTL" --port "$device" on 1 2 >/dev/null || fail "could not switch bank 1 port 2 on"
"$VELMORACTL" --port "$device" metrics >"$work/direct.prom" || fail "velmoractl metrics failed"
promtool check metrics <"$work/direct.prom" || fail "promtool refuses: $(cat "$work/direct.prom")"
grep -q "^velmora_outlet_on{device=\"$device\",bank=\"1\",outlet=\"2\",name=\"\"} 1$" "$work/direct.prom" ||
  fail "no lit outlet 2 in $(cat "$work/direct.prom")"

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
echo "metrics: promtool accepts them directly, through serve and over HTTP"
