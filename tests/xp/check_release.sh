#!/usr/bin/env bash
# Fails unless a PE executable is in its release form:
#  - at most MAX_BYTES large;
#  - stripped: no symbols, no debug sections;
#  - a .gnu_debuglink naming a debug file beside it whose CRC-32 matches;
#  - that debug file resolves the Windows entry point to its source file
#    (a crash address from a device can be read back).
#
# usage: check_release.sh EXE MAX_BYTES
set -u

exe=${1:?usage: check_release.sh EXE MAX_BYTES}
max=${2:?usage: check_release.sh EXE MAX_BYTES}
tools=${MINGW_TOOLS:-i686-w64-mingw32}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

size=$(stat -c %s "$exe") || { echo "FAIL: $exe not found"; exit 1; }
(( size <= max )) || fail "$exe is $size bytes, more than $max"

sections=$("$tools-objdump" -h "$exe" 2>&1) || { echo "FAIL: $tools-objdump could not read $exe"; exit 1; }
grep -q ' \.debug_' <<<"$sections" && fail "$exe still holds debug sections"
[ -z "$("$tools-nm" "$exe" 2>/dev/null)" ] || fail "$exe still holds symbols"

# The link section: the file name, zero-padded to 4 bytes, then the CRC-32
# of the debug file, little-endian.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
link=
if "$tools-objcopy" --dump-section .gnu_debuglink="$work/link" "$exe" "$work/copy" 2>/dev/null &&
   [ -f "$work/link" ]; then
  link=$(od -An -v -tx1 "$work/link" | tr -d ' \n')
fi
if [ -z "$link" ]; then
  fail "$exe has no .gnu_debuglink section"
else
  name_hex=${link%%00*}
  name=$(printf '%b' "$(sed 's/../\\x&/g' <<<"$name_hex")")
  crc=${link: -8}
  debug=$(dirname "$exe")/$name
  if [ ! -f "$debug" ]; then
    fail "debug file $name is not beside $exe"
  else
    # gzip's trailer carries the CRC-32 of its input, little-endian too.
    actual=$(gzip -c "$debug" | tail -c 8 | head -c 4 | od -An -v -tx1 | tr -d ' \n')
    [ "$actual" = "$crc" ] || fail "$name has CRC-32 $actual, the link expects $crc"
    address=$("$tools-nm" "$debug" | sed -n 's/^\([0-9a-f]*\) T \(_WinMain@16\|WinMain\)$/\1/p' | head -1)
    if [ -z "$address" ]; then
      fail "$name has no symbol WinMain"
    else
      where=$("$tools-addr2line" -e "$debug" "0x$address")
      [[ $where == */main_win32.cpp:* ]] || fail "$name resolves WinMain to '$where', not to main_win32.cpp"
    fi
  fi
fi

[ "$failures" -eq 0 ] && echo "ok: $exe $size bytes, stripped, debug information in $name"
exit $((failures > 0))
