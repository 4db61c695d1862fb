#!/usr/bin/env bash
# The checked-in unit of "velmoractl serve" is one systemd accepts: a copy
# that runs the built velmoractl is verified by systemd-analyze (the manual
# page it names is left out: the build does not install it here).
# Usage: systemd_unit_test.sh VELMORACTL UNIT
set -euo pipefail
velmoractl="$1"; unit="$2"
command -v systemd-analyze >/dev/null || { echo "FAIL: systemd-analyze is missing"; exit 1; }
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
sed -e "s|/usr/bin/velmoractl|$velmoractl|" -e '/^Documentation=/d' "$unit" >"$work/velmoractl-serve.service"
out="$(systemd-analyze verify "$work/velmoractl-serve.service" 2>&1 || true)"
if [ -n "$out" ]; then echo "FAIL: systemd-analyze says:"; echo "$out"; exit 1; fi
grep -q '^ExecStart=.* serve ' "$unit" || { echo "FAIL: the unit does not run serve"; exit 1; }
grep -q '^SuccessExitStatus=143' "$unit" || { echo "FAIL: SIGTERM's exit (143) is not a success"; exit 1; }
echo "the serve unit verifies"
