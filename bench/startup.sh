#!/bin/sh
# Start-up of the program to its training window with 20 items, against the floor: a program
# that links Qt Widgets alone and shows one 629x450 window with one IPAPGothic label. Both are
# measured from outside by bench_first_map, from fork() to the first MapNotify of their window
# and to its first paint, interleaved, 15 runs each after two warm-ups, on an Xvfb of their own
# without a window manager.
#   bench/startup.sh [build-dir]      (RUNS and WARMUPS override the counts)
set -eu
build=$(cd "${1:-build}" && pwd)
for file in bench/bench_first_map bench/bench_bare_window src/yarukin; do
  [ -x "$build/$file" ] || { echo "no $build/$file: build first (bench_first_map needs libxcb-damage0-dev)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
i=1
while [ $i -le 20 ]; do
  printf '"トレーニング項目%d",%d\r\n' $i $((10 + i))
  i=$((i + 1))
done | iconv -f UTF-8 -t CP932 >"$work/項目一覧.txt"

Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
"$build/bench/bench_first_map" -n "${RUNS:-15}" -w "${WARMUPS:-2}" -C "$work" \
  "$build/bench/bench_bare_window" -- "$build/src/yarukin"
