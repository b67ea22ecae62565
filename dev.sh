#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine: installs what is missing, builds, and then
#   ./dev.sh run      starts the program in its data directory
#   ./dev.sh test     runs every test: a normal build, a sanitizer build, and the fuzzers
#   ./dev.sh package  builds the Debian package into build-package/
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
jobs=$(nproc)

run_packages=(
  cmake make g++ pkgconf
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev libxcb1-dev
  libchm-dev fp-utils fonts-ipafont-gothic
)
test_packages=(
  libgtest-dev xvfb xauth xdotool x11-utils imagemagick openbox xfwm4 dbus systemd weston qt6-wayland
  at-spi2-core python3-pyatspi mandoc bash-completion python3 syncthing
  libxcb-damage0-dev
  desktop-file-utils appstream dpkg-dev file clang libclang-rt-14-dev
)

install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() { # build directory, then extra CMake arguments
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

run() {
  install_missing "${run_packages[@]}"
  build build
  exec build/yarukin-launcher
}

test_all() {
  install_missing "${run_packages[@]}" "${test_packages[@]}"
  build build
  (cd build && ctest --output-on-failure -j"$jobs")

  # The same tests built with the sanitizers; the package is checked once, in the normal build.
  # -O1 and line tables only: a sanitizer report needs no more, and the build takes half the time.
  build build-asan -DYARUKIN_SANITIZE=ON -DYARUKIN_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
  (cd build-asan &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
      LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 YARUKIN_CRASH_KILLS=40 \
      ctest --output-on-failure -j"$jobs" -E install_and_package)

  CXX=clang++ build build-fuzz -DYARUKIN_FUZZ=ON -DYARUKIN_TESTS=OFF -DYARUKIN_BENCH=OFF
  local fuzzer
  for fuzzer in build-fuzz/tests/fuzz/fuzz_*; do
    [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
    echo "Fuzzing with $(basename "$fuzzer") for ${FUZZ_SECONDS:-15} s"
    "$fuzzer" -max_total_time="${FUZZ_SECONDS:-15}" -max_len=4096 -print_final_stats=1 2>&1 | tail -n 3
  done
  echo "All tests passed."
}

package() {
  install_missing "${run_packages[@]}" dpkg-dev file
  build build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DYARUKIN_TESTS=OFF -DYARUKIN_BENCH=OFF
  (cd build-package && cpack -G DEB)
}

case "${1:-}" in
  run) run ;;
  test) test_all ;;
  package) package ;;
  *)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
