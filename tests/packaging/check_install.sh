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
share/applications/org.yarukin.Yarukin.desktop share/metainfo/org.yarukin.Yarukin.metainfo.xml"
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

# The project has no web site or mail domain yet: no address may claim one (README.md says
# how the home page and the screenshots go in once there is a site).
metainfo="$root/share/metainfo/org.yarukin.Yarukin.metainfo.xml"
! grep -Eq 'https?://|@[a-z0-9.-]+\.[a-z]+' "$metainfo" || fail "the metainfo names an address: $(grep -Eo 'https?://[^<]*|[^ <>]*@[a-z0-9.-]+' "$metainfo" | head -n 1)"

# The launcher creates the data directory and starts the program on it: the program holds it
# open (its files are reached relative to it), whatever its working directory.
data="$tmp/home/.local/share/yarukin"
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
[ -n "$held" ] || fail "the program does not hold $data open"

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
