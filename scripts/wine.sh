# Wine for the scripts that run the Windows programs (test-win32,
# test-windows): a fresh prefix, serial ports mapped to pseudo-terminals,
# one persistent server. Sourced after common.sh; the caller defines say()
# and fail().

WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || { echo "wine64 not found at $WINE64 (scripts/setup installs it)" >&2; exit 1; }

# wine_prefix DIR: a fresh prefix in DIR/prefix, booted; Wine's chatter in
# DIR/*.log.
wine_prefix() {
  WINE_TMP="$1"
  export WINEPREFIX="$WINE_TMP/prefix"
  export WINELOADER="$WINE64"
  export WINESERVER=/usr/lib/wine/wineserver
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local t0=$SECONDS
  run_wine boot.log wineboot -i || { cat "$WINE_TMP/boot.log"; fail "wineboot"; }
  say "wineboot took $((SECONDS - t0)) s"
}

# run_wine LOG ARGS...: one bounded Wine command, its chatter kept in a log
# (the wineserver it starts inherits the same files).
run_wine() {
  local log="$1"; shift
  timeout 120 "$WINE64" "$@" >>"$WINE_TMP/$log" 2>&1
}

# wine_map_ports COMn=DEVICE...: the ports mapped and listed by Wine.
# Debian's wineserver wrapper starts the server with -p0: as soon as no
# program runs it shuts down, telling the services to end and, 2 s later,
# ending whatever still runs with exit code 1. A program that starts in
# that window can lose the services or be ended before its first line, and
# a server killed while the boot still ran once left a new one that never
# mapped the ports. So the mapping goes in while the boot's server runs,
# that server ends by itself, and the next one is persistent: it maps the
# ports as it starts and runs every program without stopping.
wine_map_ports() {
  local reg="$WINE_TMP/ports.reg" pair listing mapped i t0
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n' >"$reg"
  for pair in "$@"; do printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}" >>"$reg"; done
  run_wine reg.log reg import "Z:${reg//\//\\}" || { cat "$WINE_TMP/reg.log"; fail "mapping ${*%%=*}"; }
  t0=$SECONDS
  timeout 120 "$WINESERVER" -w >/dev/null 2>&1 || fail "Wine did not finish booting within 120 s"
  timeout 30 "$WINESERVER" -p >/dev/null 2>&1 || fail "starting a persistent wineserver"
  # Mapped once the device manager of the new server lists the ports.
  for i in $(seq 60); do
    listing="$(timeout 60 "$WINE64" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>>"$WINE_TMP/reg.log" | tr -d '\r' || true)"
    mapped=1
    for pair in "$@"; do grep -q "REG_SZ *${pair%%=*}\$" <<<"$listing" || mapped=0; done
    [ "$mapped" = 0 ] || break
    sleep 0.5
  done
  [ "$mapped" = 1 ] || { echo "$listing"; fail "Wine did not list the ports after $i tries"; }
  say "Wine settled and listed the ports after $((SECONDS - t0)) s"
}

# wine_end: every Windows program of the prefix ended, the server gone.
wine_end() {
  timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
}

# wait_for_path FILE: the first line of FILE once it names a character
# device, within 10 s.
wait_for_path() {
  local file="$1" path="" i
  for i in $(seq 100); do
    path="$(head -n 1 "$file" 2>/dev/null || true)"
    if [ -n "$path" ] && [ -c "$path" ]; then echo "$path"; return 0; fi
    sleep 0.1
  done
  return 1
}

# modem_lines_shim OUT: the preload library that gives Wine's serial code
# the modem lines a pseudo-terminal lacks, built into OUT.
build_modem_lines_shim() {
  timeout 120 gcc -std=c11 -O2 -Wall -Wextra -Werror -shared -fPIC \
    -o "$1" "$ROOT/tests/win32/modem_lines_shim.c" -ldl
}
