# Shared by the scripts: where things are and how to configure a build.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc)"

# configure_build DIR [cmake args...]: configure once, reconfigure when asked.
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}
