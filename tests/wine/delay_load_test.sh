#!/usr/bin/env bash
# Runs os/win32/delay_load_test.cpp's program (the win64 build) under 64-bit
# Wine in a prefix of its own, in private user, network and UTS namespaces
# with every capability dropped. Exit 0 when the program ended 0 after its
# "0 failed" line (a crash under Wine can end 0 too); 77 (skipped) when
# 64-bit Wine or private namespaces are unavailable.
# usage: delay_load_test.sh delay_load_test.exe
set -u
exe=$(readlink -f "${1:?usage: delay_load_test.sh EXE}")
skip() { echo "SKIP: $*"; exit 77; }
if [ -z "${VORN_WINE_ISOLATED:-}" ]; then
  unshare -U -n -u --map-root-user true 2>/dev/null || skip "private namespaces cannot be created here"
  exec env VORN_WINE_ISOLATED=1 unshare -U -n -u --map-root-user \
      setpriv --bounding-set=-all --inh-caps=-all bash "$0" "$@"
fi
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || skip "64-bit Wine ($wine) is not installed"
work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix /usr/lib/wine/wineserver64 -k >/dev/null 2>&1; rm -rf "$work"' EXIT
export WINEARCH=win64 WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY WAYLAND_DISPLAY
out=$("$wine" "$exe" 2>&1 | tr -d '\r'; exit "${PIPESTATUS[0]}")
rc=$?
echo "$out"
[ $rc = 0 ] && grep -qx "0 failed" <<<"$out" || { echo "FAIL: exit $rc, no \"0 failed\" line"; exit 1; }
