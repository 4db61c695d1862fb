# Shared by the scripts: where things are and how to configure a build.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc)"

# ccache, when installed (scripts/setup installs it), for every build the
# scripts configure: its cache lives outside the checkout, so that a fresh
# checkout or a removed build folder compiles from the cache.
VELMORA_LAUNCHER=()
# (CCACHE_DISABLE=1 compiles everything afresh, for a cold measurement.)
if command -v ccache >/dev/null; then
  export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/ccache}"
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-5G}"
  mkdir -p "$CCACHE_DIR"
  VELMORA_LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# ccache_summary: the cache's hit rate since its statistics were zeroed.
ccache_summary() {
  [ ${#VELMORA_LAUNCHER[@]} -gt 0 ] || { echo "ccache: not installed"; return 0; }
  [ "${CCACHE_DISABLE:-0}" != 1 ] || { echo "ccache: disabled (CCACHE_DISABLE=1)"; return 0; }
  local hits
  hits="$(ccache -s | grep -m1 -E '^ *Hits:' | sed 's/^ *//' || true)"
  echo "ccache ($CCACHE_DIR): ${hits:-no cacheable compilation}"
}

# configure_build DIR [cmake args...]: configure once, reconfigure when asked.
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "${VELMORA_LAUNCHER[@]}" "$@" >/dev/null
}

# build_main: the one build of the program, in build/: Release (-O3) with
# debug info, warnings as errors, tests and benchmarks compiled. The tests
# run in it, the benchmarks measure it and the package is made of it (CPack
# strips the installed programs), so the optimiser's own warnings cannot
# come back unnoticed and nothing is compiled twice.
build_main() {
  configure_build "$ROOT/build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELEASE="-O3 -DNDEBUG -g"
  cmake --build "$ROOT/build" -j "$JOBS"
}

# The Qt kit of the Windows window (scripts/build-qt-windows): the folder
# VELMORA_QT_WINDOWS names, else the cache folder named by Qt's version and
# a hash of the kit's recipe.
qt_windows_kit() {
  if [ -n "${VELMORA_QT_WINDOWS:-}" ]; then echo "$VELMORA_QT_WINDOWS"; return 0; fi
  local recipe="$ROOT/packaging/windows/qt-kit.recipe" version hash
  version="$(sed -n 's/^QT_KIT_VERSION=//p' "$recipe")"
  hash="$(sha256sum "$recipe" | cut -c1-12)"
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/velmora/qt-$version-mingw-x86_64-$hash"
}
# qt_windows_kit_complete DIR: whether DIR holds a kit the window builds with.
qt_windows_kit_complete() {
  local kit="$1" f
  for f in bin/qt-cmake bin/Qt6Core.dll bin/Qt6Widgets.dll bin/Qt6Svg.dll bin/Qt6Charts.dll \
           plugins/platforms/qwindows.dll lib/cmake/Qt6Charts/Qt6ChartsConfig.cmake; do
    [ -e "$kit/$f" ] || return 1
  done
}

# build_velmora_sim DIR: a Qt-free build of the simulated unit alone in DIR
# (for the stages that run Windows programs against it); prints its path.
build_velmora_sim() {
  local dir="$1"
  configure_build "$dir" -DCMAKE_BUILD_TYPE=Release -DVELMORA_WITH_QT=OFF \
    -DVELMORA_WITH_TESTS=OFF -DVELMORA_WITH_BENCH=OFF
  timeout 600 cmake --build "$dir" -j "$JOBS" --target velmora-sim >"$dir/build.log" 2>&1 ||
    { tail -n 40 "$dir/build.log" >&2; return 1; }
  echo "$dir/sim/velmora-sim"
}
