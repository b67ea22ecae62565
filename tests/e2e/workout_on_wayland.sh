#!/bin/sh
# End to end on Wayland (weston, Qt's wayland platform):
# - on weston's headless backend: the program starts, its training window is configured and
#   drawn, a start without items shows its message, and nothing crashes. That backend has no
#   seat, so no key can reach the program there;
# - on weston's X11 backend inside Xvfb, where xdotool's keys reach weston as a keyboard: a
#   workout of three items by Enter alone, the settings window after it, a new workout by
#   Enter from there, and nothing crashes.
# - the launcher: Wayland where there is no X server, X11 (XWayland) where there is one.
# The Wayland traffic (WAYLAND_DEBUG) tells what the program did; screenshots of the headless
# output go to <artifacts>/wayland. Exit code 77 means skipped.
#   workout_on_wayland.sh PROGRAM ARTIFACTS LAUNCHER
set -eu
program=$1
artifacts=$2/wayland
launcher=$3
skip() {
  echo "SKIPPED: $*"
  exit 77
}
for tool in weston iconv; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (apt install weston)"
done
plugins=$(dirname "$(dpkg -L qt6-wayland 2>/dev/null | grep -m1 '/platforms/libqwayland-generic.so$' || true)")
[ -n "$plugins" ] || skip "Qt's wayland platform is not installed (apt install qt6-wayland)"
mkdir -p "$artifacts"
tmp=$(mktemp -d)
chmod 700 "$tmp"
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAILED (wayland): $*"
  [ ! -s "$tmp/weston.log" ] || tail -n 5 "$tmp/weston.log" | sed 's/^/  weston: /'
  [ ! -s "$tmp/program.log" ] || grep -v '^\[' "$tmp/program.log" | tail -n 10 | sed 's/^/  program: /'
  exit 1
}
. "$(dirname "$0")/wait_for.sh"

export XDG_RUNTIME_DIR="$tmp"
export QT_QPA_PLATFORM=wayland
unset DISPLAY QT_SCALE_FACTOR

start_weston() { # backend, then its own options
  backend=$1
  shift
  WAYLAND_DISPLAY= weston --backend="$backend" --use-pixman --socket=yarukin-test --idle-time=0 \
    "$@" >"$tmp/weston.log" 2>&1 &
  weston=$!
  pids="$pids $weston"
  wait_for test -S "$tmp/yarukin-test" || fail "weston ($backend) did not start"
  export WAYLAND_DISPLAY=yarukin-test
}
stop_weston() {
  kill "$weston" 2>/dev/null || true
  wait "$weston" 2>/dev/null || true # (the shell may say "Terminated")
  rm -f "$tmp/yarukin-test" "$tmp/yarukin-test.lock"
}

start() { # working directory [own], or "launcher" for the launcher in its data directory
  if [ "$1" = launcher ]; then
    # The launcher chooses the platform, and then becomes the program.
    (unset QT_QPA_PLATFORM && XDG_DATA_HOME="$tmp/launched/tree" WAYLAND_DEBUG=1 exec "$launcher") \
      >"$tmp/program.log" 2>&1 &
  elif [ "${2:-}" = own ]; then # the program chooses its platform itself
    (cd "$1" && unset QT_QPA_PLATFORM && WAYLAND_DEBUG=1 exec "$program") >"$tmp/program.log" 2>&1 &
  else
    (cd "$1" && WAYLAND_DEBUG=1 exec "$program") >"$tmp/program.log" 2>&1 &
  fi
  program_pid=$!
  pids="$pids $program_pid"
}
# Ends the program; it must still be running, and end by that signal.
stop() {
  kill -0 "$program_pid" 2>/dev/null || fail "the program is gone: it crashed or ended by itself"
  kill "$program_pid"
  status=0
  wait "$program_pid" || status=$?
  [ "$status" = 143 ] || fail "the program ended with status $status, not by the signal sent"
}
# How many top-level windows with this title the program has made.
windows_titled() {
  grep -c "xdg_toplevel@[0-9]*\.set_title(\"$1\")" "$tmp/program.log" || true
}
at_least() { # count, title
  [ "$(windows_titled "$2")" -ge "$1" ]
}
drawn() { # a buffer attached and committed after the window was made
  sed -n '/xdg_toplevel@[0-9]*\.set_title/,$p' "$tmp/program.log" | grep -q 'wl_surface@[0-9]*\.attach(wl_buffer'
}
screenshot() { # name: the headless output, when weston's screenshooter works
  (cd "$tmp" && rm -f wayland-screenshot*.png && weston-screenshooter >/dev/null 2>&1 &&
    mv wayland-screenshot*.png "$artifacts/$1.png") || true
}

work=$(data_dir "$tmp/workout")
printf '"腕立て伏せ",30\r\n"スクワット",20\r\n"腹筋",15\r\n' | iconv -f UTF-8 -t CP932 >"$work/項目一覧.txt"
cp "$work/項目一覧.txt" "$(data_dir "$tmp/launched" yarukin)/"

# --- headless: it starts and draws ---------------------------------------------------------
start_weston headless-backend.so --width=1280 --height=1024 --debug
start "$work" own
wait_for at_least 1 'ヤルキン！' || fail "no training window on the headless backend"
wait_for drawn || fail "the training window was never drawn"
sleep 0.3
screenshot training
stop
empty=$(data_dir "$tmp/empty")
start "$empty"
wait_for at_least 1 '項目無し' || fail "no 項目無し message on the headless backend"
stop
# Without an X server the launcher falls back to Wayland.
start launcher
wait_for at_least 1 'ヤルキン！' || fail "the launcher did not start the program on Wayland"
stop
stop_weston

# --- by keyboard: weston on X11, keys from xdotool ------------------------------------------
for tool in Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (apt install xvfb xdotool x11-utils)"
done
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$tmp/display" >/dev/null 2>&1 &
pids="$pids $!"
wait_for test -s "$tmp/display" || fail "Xvfb did not start"
display=":$(cat "$tmp/display")"
export DISPLAY="$display"
start_weston x11-backend.so --width=1024 --height=768
unset DISPLAY # the program talks Wayland only
output() { DISPLAY=$display xwininfo -root -children | awk '/"Weston Compositor/ { print $1; exit }'; }
wait_for test -n "$(output)" || fail "no weston window on the X server"
DISPLAY=$display xdotool windowfocus --sync "$(output)"

start "$work"
wait_for at_least 1 'ヤルキン！' || fail "no training window"
keyboard_entered() { # at least this many times the keyboard entered a window of the program
  [ "$(grep -c 'wl_keyboard@[0-9]*\.enter(' "$tmp/program.log" || true)" -ge "$1" ]
}
wait_for keyboard_entered 1 || fail "the training window never got the keyboard"
records() { # at least this many lines in the item list and the history files together
  [ "$(cat "$work"/*.txt | tr -cd '\n' | wc -c)" -ge "$1" ]
}
for item in 1 2 3; do
  DISPLAY=$display xdotool key Return
  wait_for records $((3 + item)) || fail "Enter number $item recorded nothing"
  sleep 0.3 # the flash that follows the record ignores presses
done
wait_for at_least 2 'ヤルキン！' || fail "no settings window after the workout"
for item in 腕立て伏せ:30 スクワット:20 腹筋:15; do
  one_record "$work" "${item%%:*}" "${item#*:}" || fail "${item%%:*}.txt holds other than one record of ${item#*:}"
done
wait_for keyboard_entered 2 || fail "the settings window never got the keyboard"
DISPLAY=$display xdotool key Return
wait_for at_least 3 'ヤルキン！' || fail "Enter in the settings window started no workout"
stop

# With an X server at hand the launcher prefers it, Wayland session or not.
export DISPLAY=$display
start launcher
x11_window() { xdotool search --name '^ヤルキン！$'; }
wait_for x11_window || fail "the launcher did not start the program on X11 beside Wayland"
[ "$(windows_titled 'ヤルキン！')" = 0 ] || fail "the launcher started the program on Wayland"
stop
# Started by itself, the program makes the same choice.
start "$work" own
wait_for x11_window || fail "the program did not choose X11 beside Wayland"
[ "$(windows_titled 'ヤルキン！')" = 0 ] || fail "the program chose Wayland beside X11"
stop
for root in "$tmp/workout" "$tmp/empty"; do
  nothing_beside "$root" || fail "a file was written outside the data directory: $(ls -AR "$root")"
done
nothing_beside "$tmp/launched" yarukin || fail "the launched program wrote outside its data directory"
echo "PASSED (wayland)"
