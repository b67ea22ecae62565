#!/bin/sh
# The accessibility walk (accessibility_walk.py) on a real X server with a D-Bus session of its
# own, where the AT-SPI bus starts as it does on a desktop. Exit code 77 means skipped.
#   accessibility_walk.sh PROGRAM      (VERBOSE=-v lists every control with its name)
set -eu
program=$1
here=$(dirname "$0")
skip() {
  echo "SKIPPED: $*"
  exit 77
}
for tool in Xvfb dbus-run-session xdotool iconv /usr/bin/python3; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (apt install xvfb dbus xdotool python3)"
done
[ -e /usr/libexec/at-spi-bus-launcher ] || skip "no AT-SPI bus (apt install at-spi2-core)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "no pyatspi (apt install python3-pyatspi)"
tmp=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
. "$here/wait_for.sh"

Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$tmp/display" >/dev/null 2>&1 &
pids="$!"
wait_for test -s "$tmp/display" || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$tmp/display")"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR="$tmp"
unset QT_SCALE_FACTOR

data=$(data_dir "$tmp/walk")
printf '"腕立て伏せ",30\r\n"腹筋",15\r\n' | iconv -f UTF-8 -t CP932 >"$data/項目一覧.txt"
printf '"12月05日","18時36分11秒",30\r\n' | iconv -f UTF-8 -t CP932 >"$data/腕立て伏せ.txt"
status=0
dbus-run-session -- /usr/bin/python3 "$here/accessibility_walk.py" "$program" "$data" ${VERBOSE:-} \
  2>"$tmp/stderr" || status=$?
[ "$status" = 0 ] || grep -v 'fd limit\|Activat\|SpiRegistry' "$tmp/stderr" | tail -n 5 | sed 's/^/  /'
nothing_beside "$tmp/walk" || { echo "FAILED: a file was written outside the data directory"; exit 1; }
exit "$status"
