#!/bin/sh
# End to end on a real X server (Xvfb, the xcb platform), without a window manager or under
# one (openbox, xfwm4): a workout of three Japanese-named items run with the Enter key alone,
# the settings window taking over the keyboard, a new workout started from it by Enter, then
# a start without items. Checks the keyboard focus, the title-bar buttons, the task bar hint
# and that each window stands centred with its frame. Screenshots of every window are kept in
# <artifacts>/<window manager>. Exit code 77 means skipped.
#   workout_on_x11.sh PROGRAM ARTIFACTS [none|openbox|xfwm4]
set -eu
program=$1
wm=${3:-none}
artifacts=$2/$wm
skip() {
  echo "SKIPPED: $*"
  exit 77
}
for tool in Xvfb xdotool import xprop xwininfo iconv; do
  command -v "$tool" >/dev/null 2>&1 ||
    skip "$tool is not installed (apt install xvfb xdotool imagemagick x11-utils)"
done
case $wm in
  none) ;;
  openbox) command -v openbox >/dev/null 2>&1 || skip "openbox is not installed (apt install openbox)" ;;
  xfwm4)
    for tool in xfwm4 dbus-run-session; do
      command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (apt install xfwm4 dbus)"
    done
    ;;
  *)
    echo "unknown window manager: $wm" >&2
    exit 2
    ;;
esac
mkdir -p "$artifacts"
tmp=$(mktemp -d)
pids=""
wm_group=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  # The window manager runs in a process group of its own, with the session bus xfwm4 needs.
  [ -z "$wm_group" ] || kill -- "-$wm_group" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "FAILED ($wm): $*"
  [ ! -s "$tmp/program.log" ] || sed 's/^/  program: /' "$tmp/program.log"
  exit 1
}

. "$(dirname "$0")/wait_for.sh"

# A display of its own: Xvfb takes the first number free (binding its abstract socket is
# what claims a number, so tests started together get different ones). -noreset: a server
# that resets when its last client goes refuses the next one meanwhile.
width=1280
height=1024
Xvfb -displayfd 5 -screen 0 ${width}x${height}x24 -nolisten tcp -noreset 5>"$tmp/display" \
  >/dev/null 2>&1 &
pids="$!"
wait_for test -s "$tmp/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$tmp/display")"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR

wm_running() { # a live window manager's check window
  check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
  [ -n "$check" ] && xprop -id "$check" _NET_WM_NAME >/dev/null 2>&1
}
case $wm in
  openbox) setsid openbox --sm-disable >"$tmp/wm.log" 2>&1 & ;;
  xfwm4) NO_AT_BRIDGE=1 setsid dbus-run-session -- xfwm4 --compositor=off --sm-client-disable \
    >"$tmp/wm.log" 2>&1 & ;;
esac
if [ "$wm" != none ]; then
  wm_group=$!
  wait_for wm_running || fail "the window manager did not start: $(cat "$tmp/wm.log")"
fi

# The id of the visible window with this exact title and size, waiting up to 10 s.
window() { # title width height
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      # A window of the program just ended may be gone by now.
      geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
      eval "$geometry"
      if [ "$WIDTH" = "$2" ] && [ "$HEIGHT" = "$3" ]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

has_focus() { # window id: the keyboard goes to it
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# The window manager has placed the window and drawn its frame: a frame that is centred on
# the screen, within a pixel and a half for the rounding of odd sizes and of scaled positions
# (the screen has no panels, so all of it is the work area).
frame_centred() { # window id
  id=$1
  eval "$(xwininfo -id "$id" | sed -n \
    -e 's/^ *Absolute upper-left X: *\(-*[0-9]*\)$/x=\1/p' \
    -e 's/^ *Absolute upper-left Y: *\(-*[0-9]*\)$/y=\1/p' \
    -e 's/^ *Width: *\([0-9]*\)$/w=\1/p' -e 's/^ *Height: *\([0-9]*\)$/h=\1/p')"
  set -- 0 0 0 0
  if [ "$wm" != none ]; then
    extents=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ,)
    [ -n "$extents" ] || return 1
    set -- $extents # left right top bottom
  fi
  dx=$((2 * (x - $1) + w + $1 + $2 - width))
  dy=$((2 * (y - $3) + h + $3 + $4 - height))
  [ "$dx" -ge -3 ] && [ "$dx" -le 3 ] && [ "$dy" -ge -3 ] && [ "$dy" -le 3 ]
}

# The title-bar buttons a window may have, from its _MOTIF_WM_HINTS: "min", "max", both or
# neither. Qt names each function and decoration; it never uses the "all but" bit.
buttons() { # window id
  hints=$(xprop -id "$1" _MOTIF_WM_HINTS | sed -n 's/.* = //p' | tr -d ,)
  [ -n "$hints" ] || { echo "no _MOTIF_WM_HINTS"; return; }
  set -- $hints
  flags=$(($1)) functions=$(($2)) decorations=$(($3))
  [ $((functions & 1)) = 0 ] && [ $((decorations & 1)) = 0 ] || { echo "all"; return; }
  result=""
  [ $((flags & 1)) = 0 ] || [ $((functions & 8)) = 0 ] || result="min"
  [ $((flags & 2)) = 0 ] || [ $((decorations & 32)) = 0 ] || result="${result:+$result }min-button"
  [ $((flags & 1)) = 0 ] || [ $((functions & 16)) = 0 ] || result="${result:+$result }max"
  [ $((flags & 2)) = 0 ] || [ $((decorations & 64)) = 0 ] || result="${result:+$result }max-button"
  echo "$result"
}

skips_taskbar() { # window id
  xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR
}

check_window() { # window id, name, expected buttons, taskbar (yes|no)
  wait_for has_focus "$1" || fail "the $2 has no keyboard focus"
  wait_for frame_centred "$1" ||
    fail "the $2 is not centred with its frame: client at $x,$y ${w}x$h, frame ${extents:-none}"
  [ "$(buttons "$1")" = "$3" ] || fail "the $2 has the title-bar buttons '$(buttons "$1")', not '$3'"
  if [ "$4" = no ]; then
    skips_taskbar "$1" || fail "the $2 is not kept out of the task bar"
  else
    ! skips_taskbar "$1" || fail "the $2 is kept out of the task bar"
  fi
}

start() { # working directory
  (cd "$1" && exec "$program") >"$tmp/program.log" 2>&1 &
  pids="$pids $!"
  last=$!
}
stop() { # the program last started
  kill "$last"
  wait "$last" 2>/dev/null || true
}

# --- a workout of three items, by Enter alone -------------------------------------------
work=$(data_dir "$tmp/workout")
printf '"腕立て伏せ",30\r\n"スクワット",20\r\n"腹筋",15\r\n' | iconv -f UTF-8 -t CP932 >"$work/項目一覧.txt"
start "$work"
training=$(window 'ヤルキン！' 629 450) || fail "no training window of 629x450"
check_window "$training" "training window" "" no
sleep 0.3 # let the first paint reach the screen
import -window root "$artifacts/training.png"
records() { # at least this many lines in the item list and the history files together
  [ "$(cat "$work"/*.txt | tr -cd '\n' | wc -c)" -ge "$1" ]
}
for item in 1 2 3; do
  xdotool key Return
  wait_for records $((3 + item)) || fail "Enter number $item recorded nothing"
  sleep 0.3 # the flash that follows the record ignores presses
done
settings=$(window 'ヤルキン！' 631 452) || fail "the settings window did not appear after the workout"
check_window "$settings" "settings window" "min min-button" yes
sleep 0.3
import -window root "$artifacts/settings.png"
for item in 腕立て伏せ:30 スクワット:20 腹筋:15; do
  one_record "$work" "${item%%:*}" "${item#*:}" || fail "${item%%:*}.txt holds other than one record of ${item#*:}"
done

# Enter in the settings window presses 開始: a new workout, with the keyboard again.
xdotool key Return
training=$(window 'ヤルキン！' 629 450) || fail "Enter in the settings window started no workout"
check_window "$training" "training window of the second workout" "" no
stop

# --- a first start without items ----------------------------------------------------------
empty=$(data_dir "$tmp/empty")
start "$empty"
for _ in $(seq 100); do
  box=$(xdotool search --onlyvisible --name '^項目無し$' 2>/dev/null | head -n 1) && [ -n "$box" ] && break
  sleep 0.1
done
[ -n "${box:-}" ] || fail "no 項目無し message box"
wait_for has_focus "$box" || fail "the 項目無し message has no keyboard focus"
sleep 0.3
import -window root "$artifacts/no-items.png"
xdotool key Return
settings=$(window 'ヤルキン！' 631 452) || fail "the settings window did not follow the message"
[ -z "$(xdotool search --onlyvisible --name '^項目無し$' 2>/dev/null)" ] || fail "the message stayed"
check_window "$settings" "settings window after the message" "min min-button" yes
sleep 0.3
import -window root "$artifacts/settings-empty.png"
stop

# --- the same workout at 144 dpi: everything scales together ------------------------------
export QT_SCALE_FACTOR=1.5
start "$work"
training=$(window 'ヤルキン！' 944 675) || fail "no training window of 944x675 at a scale of 1.5"
wait_for frame_centred "$training" || fail "the training window at a scale of 1.5 is not centred"
sleep 0.3
import -window root "$artifacts/training-144dpi.png"
stop

for root in "$tmp/workout" "$tmp/empty"; do
  nothing_beside "$root" || fail "a file was written outside the data directory: $(ls -AR "$root")"
done
echo "PASSED ($wm): screenshots in $artifacts"
