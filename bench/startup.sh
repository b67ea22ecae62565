#!/bin/sh
# Start-up to the training window shown with 20 items, side by side with a minimal Qt Widgets
# program: the time from exec to the first paint, median of many runs. Needs a display (run it under Xvfb) and the build directory.
set -eu
build=${1:-build}
runs=${RUNS:-25}
bench=$(cd "$build/bench" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
i=1
while [ $i -le 20 ]; do
  printf '"トレーニング項目%d",%d\r\n' $i $((10 + i))
  i=$((i + 1))
done | iconv -f UTF-8 -t CP932 > 項目一覧.txt

time_ms() { # median time from exec to the first paint, in milliseconds
  for _ in $(seq "$runs"); do
    BENCH_START_NS=$(date +%s%N) "$@" 2>/dev/null
  done | sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] }'
}
BENCH_START_NS=0 "$bench/bench_startup_minimal" >/dev/null 2>&1 || true # warm the caches
BENCH_START_NS=0 "$bench/bench_startup_yarukin" >/dev/null 2>&1 || true
minimal=$(time_ms "$bench/bench_startup_minimal")
yarukin=$(time_ms "$bench/bench_startup_yarukin")
echo "minimal Qt Widgets window shown     $minimal ms (median of $runs)"
echo "training window with 20 items shown $yarukin ms (median of $runs)"
awk -v a="$yarukin" -v b="$minimal" 'BEGIN { printf "ratio                               %.2fx\n", a / b }'
