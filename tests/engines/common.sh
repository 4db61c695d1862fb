# Shared by the tests that drive the simulated unit through the engines
# users already run (powermand, NUT): a temporary folder, the simulated
# unit, free loopback ports, waiting, and cleaning up whatever was started.
set -euo pipefail

work="$(mktemp -d /tmp/velmora-engines.XXXXXX)"
export VELMORA_SOCKET_DIR="$work/sockets"
pids=()
# Commands run once the started processes are gone (groupdel ...).
afterwards=()
# stop_pid PID: its children (powermand's velmoractl shell) and then the
# process itself, ended by SIGTERM or after 10 s by SIGKILL.
stop_pid() {
  local tries=100
  pkill -TERM -P "$1" 2>/dev/null || true
  kill "$1" 2>/dev/null || true
  while kill -0 "$1" 2>/dev/null && [ "$tries" -gt 0 ]; do sleep 0.1; tries=$((tries - 1)); done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  local i command
  # The last started goes first and each is gone before the next: the
  # simulated unit goes last. A program still running when the unit's pty
  # closes waits for that device to come back, and the next simulated unit
  # on this machine (another test's) may be given the same pty number.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_pid "${pids[i]}"; done
  for command in "${afterwards[@]}"; do eval "$command" || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

# velmoractl where other users may run it: a copy in the test's folder,
# since the build may lie under a folder only its owner may enter (a
# checkout in a "mktemp -d" folder). Sets $VELMORACTL to the copy.
share_velmoractl() {
  chmod 0755 "$work"
  install -m 0755 "$VELMORACTL" "$work/velmoractl"
  VELMORACTL="$work/velmoractl"
}
need() { command -v "$1" >/dev/null || fail "$1 is missing (scripts/setup installs it)"; }

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds.
wait_for() {
  local bound=$(( $(date +%s) + $1 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s)" -lt "$bound" ] || return 1
    sleep 0.1
  done
}

# start_unit BANKS: the simulated unit; sets $device.
start_unit() {
  "$SIM" --banks "$1" >"$work/sim.out" 2>"$work/sim.err" &
  pids+=($!)
  wait_for 10 test -s "$work/sim.out" || fail "the simulated unit did not start"
  device="$(head -n1 "$work/sim.out")"
}

# The unit's port states, "bank1 bank2", through its owner.
port_states() {
  "$VELMORACTL" --port "$device" --json status |
    python3 -c 'import json,sys; print(" ".join(b["portStates"] for b in json.load(sys.stdin)["banks"]))'
}
bank_current() {
  "$VELMORACTL" --port "$device" --json status |
    python3 -c 'import json,sys; print(json.load(sys.stdin)["banks"]['"$1"'-1]["current"])'
}

# start_powermand DEVICE_SCRIPT [POWERMAN_CONF]: powermand on loopback with
# one unit of 16 plugs driven through "velmoractl shell": nodes n1..n16, or
# the node and alias lines of POWERMAN_CONF (its unit is "rack1"). Runs as
# "${pm_run_as[@]}" when the caller set it (setpriv ...). Sets $pm_host.
pm_run_as=()
start_powermand() {
  local port; port="$(free_port)"
  pm_host="127.0.0.1:$port"
  # powermand reads the device script as its user: a copy beside its
  # configuration, out of a checkout other users may not enter.
  install -m 0644 "$1" "$work/device.dev"
  cat >"$work/powerman.conf" <<CONF
include "$work/device.dev"
listen "$pm_host"
device "rack1" "velmora" "$VELMORACTL --port $device --delay 1 shell |&"
CONF
  if [ -n "${2:-}" ]; then
    grep -E '^(node|alias) ' "$2" >>"$work/powerman.conf" || fail "no node lines in $2"
  else
    echo 'node "n[1-16]" "rack1" "[1-16]"' >>"$work/powerman.conf"
  fi
  "${pm_run_as[@]}" powermand -c "$work/powerman.conf" -f >"$work/powermand.log" 2>&1 &
  pids+=($!)
  wait_for 30 pm -h "$pm_host" -q || { cat "$work/powermand.log"; fail "powermand did not answer"; }
}
