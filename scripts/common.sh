# Shared by the scripts: where things are and how to configure a build.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc)"

# configure_build DIR [cmake args...]: configure once, reconfigure when asked.
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

# build_release: the Release build (-O3) the benchmarks run in, with the
# tests compiled too and warnings as errors, so the optimiser's own
# warnings cannot come back unnoticed.
build_release() {
  configure_build "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DVELMORA_WERROR=ON
  cmake --build "$ROOT/build-release" -j "$JOBS"
}
