#!/bin/sh
# End to end on a real X server (Xvfb, the xcb platform): a workout of three Japanese-named
# items run with the Enter key alone, then a start without items. Screenshots of every window
# are kept in <build>/artifacts. Exit code 77 means skipped.
set -eu
program=$1
artifacts=$2
for tool in Xvfb xdotool import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (apt install xvfb xdotool imagemagick)"
    exit 77
  fi
done
mkdir -p "$artifacts"
tmp=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

# A display of its own.
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$tmp/display" >/dev/null 2>&1 &
pids="$!"
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$tmp/display")"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR

fail() { echo "FAILED: $*"; exit 1; }

# The id of the visible window with this exact title and size, waiting up to 10 s.
window() { # title width height
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      if [ "$WIDTH" = "$2" ] && [ "$HEIGHT" = "$3" ]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

start() { # working directory
  (cd "$1" && exec "$program") >"$tmp/program.log" 2>&1 &
  pids="$pids $!"
  last=$!
}

# --- a workout of three items, by Enter alone -------------------------------------------
work="$tmp/workout"
mkdir -p "$work"
printf '"腕立て伏せ",30\r\n"スクワット",20\r\n"腹筋",15\r\n' | iconv -f UTF-8 -t CP932 >"$work/項目一覧.txt"
start "$work"
window 'ヤルキン！' 629 450 >/dev/null || fail "no training window of 629x450"
sleep 0.3
import -window root "$artifacts/training.png"
for _ in 1 2 3; do
  xdotool key Return
  sleep 0.5 # longer than the flash, during which presses are ignored
done
window 'ヤルキン！' 631 452 >/dev/null || fail "the settings window did not appear after the workout"
sleep 0.3
import -window root "$artifacts/settings.png"
for item in 腕立て伏せ:30 スクワット:20 腹筋:15; do
  name=${item%%:*}
  count=${item#*:}
  [ -f "$work/$name.txt" ] || fail "no history file for $name"
  lines=$(iconv -f CP932 -t UTF-8 "$work/$name.txt" | tr -d '\r')
  [ "$(echo "$lines" | wc -l)" = 1 ] || fail "$name.txt holds more than one record"
  echo "$lines" | grep -Eq "^\"[0-9]{2}月[0-9]{2}日\",\"[0-9]{2}時[0-9]{2}分[0-9]{2}秒\",$count\$" ||
    fail "$name.txt holds '$lines'"
done
kill "$last"

# --- a first start without items ----------------------------------------------------------
empty="$tmp/empty"
mkdir -p "$empty"
start "$empty"
for _ in $(seq 100); do
  box=$(xdotool search --onlyvisible --name '^項目無し$' 2>/dev/null | head -n 1) && [ -n "$box" ] && break
  sleep 0.1
done
[ -n "${box:-}" ] || fail "no 項目無し message box"
sleep 0.3
import -window root "$artifacts/no-items.png"
xdotool key Return
window 'ヤルキン！' 631 452 >/dev/null || fail "the settings window did not follow the message"
[ -z "$(xdotool search --onlyvisible --name '^項目無し$' 2>/dev/null)" ] || fail "the message stayed"
sleep 0.3
import -window root "$artifacts/settings-empty.png"
kill "$last"

# --- the same workout at 144 dpi: everything scales together ------------------------------
export QT_SCALE_FACTOR=1.5
start "$work"
window 'ヤルキン！' 944 675 >/dev/null || fail "no training window of 944x675 at a scale of 1.5"
sleep 0.3
import -window root "$artifacts/training-144dpi.png"
kill "$last"

echo "PASSED: screenshots in $artifacts"
