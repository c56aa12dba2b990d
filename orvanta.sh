#!/usr/bin/env bash
# One entry point: install what is missing, build, then run, test, benchmark or fuzz.
#   ./orvanta.sh run [address]   Release build, starts build/bin/orv
#   ./orvanta.sh test            sanitizer build, every test through CTest
#   ./orvanta.sh bench           Release build, the benchmarks
#   ./orvanta.sh fuzz [seconds]  clang build, each fuzz target for a bounded time
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-webengine-dev qt6-multimedia-dev libgl-dev
  libcurl4-openssl-dev libssl-dev ca-certificates git-doc
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth curl
  fp-utils xchm xdg-utils qt6-translations-l10n
  zlib1g-dev wget nginx chromium python-click-doc
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

jobs() { nproc 2>/dev/null || echo 2; }

configure_and_build() {  # dir, then cmake options
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$(jobs)"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
  run)
    install_missing
    configure_and_build build -DCMAKE_BUILD_TYPE=Release
    if [ ! -x build/bin/orv ]; then
      echo "orv is not built yet" >&2
      exit 1
    fi
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      exec build/bin/orv "$@"
    else
      exec build/bin/orv --batch "$@"
    fi
    ;;
  test)
    install_missing
    configure_and_build build-test -DCMAKE_BUILD_TYPE=Debug -DORV_TESTS=ON -DORV_SANITIZE=ON -DORV_WERROR=ON
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
    export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
    cd build-test && ctest --output-on-failure -j "$(jobs)" --timeout 300
    ;;
  bench)
    install_missing
    configure_and_build build-bench -DCMAKE_BUILD_TYPE=Release -DORV_BENCH=ON
    if [ -x build-bench/bin/orv_bench ]; then
      build-bench/bin/orv_bench "$@"
    fi
    ;;
  fuzz)
    install_missing
    configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_FUZZ=ON \
      -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
    seconds=${1:-60}
    for f in build-fuzz/bin/fuzz_*; do
      [ -x "$f" ] || continue
      echo "== $f for ${seconds}s"
      mkdir -p "build-fuzz/corpus/$(basename "$f")"
      "$f" -max_total_time="$seconds" -max_len=65536 "build-fuzz/corpus/$(basename "$f")"
    done
    ;;
  *)
    echo "usage: $0 run [address] | test | bench | fuzz [seconds]" >&2
    exit 2
    ;;
esac
