#!/bin/sh
# The installed files and the Debian package: what is installed, that the desktop entry and
# the AppStream file validate, that the launcher starts the program in its data directory,
# and the package's file list. Exit code 77 means skipped.
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

DESTDIR="$tmp/root" cmake --install "$build" --prefix /usr >/dev/null
root="$tmp/root/usr"
expected="bin/yarukin libexec/yarukin/yarukin share/yarukin/ZkHelp.chm
share/applications/org.yarukin.Yarukin.desktop share/metainfo/org.yarukin.Yarukin.metainfo.xml
share/man/man1/yarukin.1.gz share/man/ja/man1/yarukin.1.gz share/bash-completion/completions/yarukin
share/doc/yarukin/copyright lib/systemd/user/yarukin-reminder.service
lib/systemd/user/yarukin-reminder.timer"
for size in 16 32 48 128 256; do
  expected="$expected share/icons/hicolor/${size}x${size}/apps/yarukin.png"
done
for file in $expected; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
[ -x "$root/bin/yarukin" ] || fail "the launcher is not executable"

skipped=""
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$root/share/applications/org.yarukin.Yarukin.desktop" || fail "desktop entry"
else
  skipped="$skipped desktop-file-validate"
fi
if command -v appstreamcli >/dev/null 2>&1; then
  appstreamcli validate --no-net "$root/share/metainfo/org.yarukin.Yarukin.metainfo.xml" >/dev/null ||
    fail "metainfo"
else
  skipped="$skipped appstreamcli"
fi

# The reminder's timer and check as the user's systemd reads them, with the hour a choice sets
# in a drop-in; the check runs the launcher (found on systemd's own path, here the staged one).
if command -v systemd-analyze >/dev/null 2>&1; then
  grep -qx 'ExecStart=yarukin --remind' "$root/lib/systemd/user/yarukin-reminder.service" ||
    fail "the reminder's check does not run the launcher"
  units="$tmp/units"
  mkdir -p "$units/yarukin-reminder.timer.d"
  sed "s|^ExecStart=yarukin |ExecStart=$root/bin/yarukin |" "$root/lib/systemd/user/yarukin-reminder.service" \
    >"$units/yarukin-reminder.service"
  cp "$root/lib/systemd/user/yarukin-reminder.timer" "$units/"
  printf '[Timer]\nOnCalendar=\nOnCalendar=Mon,Wed *-*-* 07:05:00\n' >"$units/yarukin-reminder.timer.d/hour.conf"
  verified=$(systemd-analyze verify --man=no "$units/yarukin-reminder.timer" "$units/yarukin-reminder.service" 2>&1) ||
    fail "the reminder's units: $verified"
  [ -z "$verified" ] || fail "the reminder's units: $verified"
else
  skipped="$skipped systemd-analyze"
fi

# The project has no web site or mail domain yet: no address may claim one (README.md says
# how the home page and the screenshots go in once there is a site).
metainfo="$root/share/metainfo/org.yarukin.Yarukin.metainfo.xml"
! grep -Eq 'https?://|@[a-z0-9.-]+\.[a-z]+' "$metainfo" || fail "the metainfo names an address: $(grep -Eo 'https?://[^<]*|[^ <>]*@[a-z0-9.-]+' "$metainfo" | head -n 1)"

# The launcher names the program yarukin and leaves the data directory alone for the help, a
# mistake and an export; for the windows the directory is made and the program holds it open
# (its files are reached relative to it, whatever its working directory).
data="$tmp/home/.local/share/yarukin"
HOME="$tmp/home" XDG_DATA_HOME= "$root/bin/yarukin" --help | head -n 1 | grep -qx '使い方: yarukin \[--data-dir DIR\]' ||
  fail "the help through the launcher: $(HOME="$tmp/home" "$root/bin/yarukin" --help 2>&1 | head -n 1)"
HOME="$tmp/home" XDG_DATA_HOME="$tmp/xdg" "$root/bin/yarukin" --help | grep -qx "  $tmp/xdg/yarukin を使い、ウィンドウを開くときになければ作ります。" ||
  fail "the help through the launcher does not name \$XDG_DATA_HOME/yarukin"
# Each with its exit status: done, a mistake, a data directory that is not there yet.
for run in --version:0 --no-such-option:2 "--export-csv -:1"; do
  arguments=${run%:*}
  status=0
  HOME="$tmp/home" XDG_DATA_HOME= "$root/bin/yarukin" $arguments >/dev/null 2>&1 || status=$?
  [ "$status" = "${run##*:}" ] || fail "yarukin $arguments ended with $status, not ${run##*:}"
  [ ! -e "$tmp/home/.local" ] || fail "yarukin $arguments made $(find "$tmp/home" | tail -n 1)"
done
HOME="$tmp/home" XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen "$root/bin/yarukin" >/dev/null 2>&1 &
pid=$!
held=""
for _ in $(seq 50); do
  held=$(for fd in /proc/"$pid"/fd/*; do readlink "$fd"; done 2>/dev/null | grep -Fx "$data" || true)
  [ -n "$held" ] && break
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
[ -d "$data" ] || fail "the launcher made no data directory"
[ "$(ls -A "$tmp/home/.local/share")" = yarukin ] || fail "written beside the data directory: $(ls -A "$tmp/home/.local/share")"
[ -n "$held" ] || fail "the program does not hold $data open"

# Every argument reaches the program whole: a space or a glob character splits nothing.
mkdir "$tmp/a b" && printf '"A",1\r\n' >"$tmp/a b/項目一覧.txt"
"$root/bin/yarukin" --data-dir "$tmp/a b" --export-csv "$tmp/a b/out *.csv" --item A ||
  fail "the launcher split or expanded an argument"
[ -f "$tmp/a b/out *.csv" ] || fail "no export at the path given with a space and a '*'"

# The completion: registered item names for --item, from the data directory, each one word.
if [ -r /usr/share/bash-completion/bash_completion ] && command -v bash >/dev/null 2>&1; then
  printf '"腕立て伏せ",30\r\n"腕立て, 膝つき",5\r\n"$(touch pwned)",1\r\n' | iconv -f UTF-8 -t CP932 \
    >"$data/項目一覧.txt"
  completed=$(cd "$tmp" && HOME="$tmp/home" XDG_DATA_HOME= bash -c '
    . /usr/share/bash-completion/bash_completion && . "$1" && complete -p yarukin >/dev/null || exit 1
    COMP_WORDS=(yarukin --export-csv - --item 腕); COMP_CWORD=4
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _yarukin; printf "%s\n" "${COMPREPLY[@]}"' _ "$root/share/bash-completion/completions/yarukin") ||
    fail "the completion is not registered for yarukin"
  [ "$completed" = "$(printf '腕立て伏せ\n腕立て\\,\\ 膝つき')" ] || fail "--item completes to: $completed"
  [ ! -e "$tmp/pwned" ] || fail "the completion ran an item name"
else
  skipped="$skipped bash-completion"
fi

if command -v cpack >/dev/null 2>&1 && command -v dpkg-deb >/dev/null 2>&1; then
  (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" >/dev/null) ||
    fail "cpack"
  deb=$(ls "$tmp"/package/yarukin_*.deb)
  contents=$(dpkg-deb -c "$deb")
  for file in $expected; do
    echo "$contents" | grep -q "\./usr/$file\$" || fail "the package lacks /usr/$file"
  done
  dpkg-deb -f "$deb" Depends | grep -q 'fonts-ipafont-gothic' || fail "no font dependency"
  dpkg-deb -f "$deb" Depends | grep -q 'libchm1' || fail "no chmlib dependency"
  dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no Qt dependency"
  ! dpkg-deb -f "$deb" Maintainer | grep -q '@' || fail "the package names a mail address: $(dpkg-deb -f "$deb" Maintainer)"
else
  skipped="$skipped cpack/dpkg-deb"
fi
[ -z "$skipped" ] || echo "Not checked, tools missing:$skipped"
echo "PASSED"
