#!/usr/bin/env bash
# Runs a desktop test (a Python script using the accessibility bus) inside
# its own desktop: a private X server (Xvfb), a session bus with the
# accessibility bus behind it, and the openbox window manager.
# Usage: run_on_desktop.sh SCRIPT ARGS...
set -euo pipefail
script="$1"; shift
for tool in Xvfb openbox wmctrl xdotool dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "desktop test: $tool missing (scripts/setup installs it)"; exit 1; }
done
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "desktop test: no free display"; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY="$display"
export NO_AT_BRIDGE=0
dbus-run-session -- bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 1 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
  /usr/bin/python3 "$@"
  rc=$?
  kill $wm 2>/dev/null || true
  exit $rc
' run_on_desktop "$script" "$@"
