# Shared by the scripts: where things are and how to configure a build.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc)"

# configure_build DIR [cmake args...]: configure once, reconfigure when asked.
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
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
