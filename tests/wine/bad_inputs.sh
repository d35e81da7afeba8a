#!/usr/bin/env bash
# The bad-input catalogue on both backends: vorn-bad-inputs writes its
# damaged boot configurations and registry values as scenario folders, and
# tests/wine/both.sh runs each through vorn-sim and vorn-wine and compares
# them. The external entities and the external DTD name a file outside every
# prefix: a FIFO whose writer finishes as soon as anything opens it for
# reading, so it must still be waiting at the end.
#
# usage: bad_inputs.sh [PATTERN]   (only the scenarios whose names match the
#                                   extended regular expression)
# Environment: VORN_BAD_INPUTS (default build/native/vorn-bad-inputs) and
# what both.sh takes.
# Exit: both.sh's (0 all passed, 1 a failure, 77 when Wine cannot run
# here); 1 as well when the named file was read.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
generator=${VORN_BAD_INPUTS:-$root/build/native/vorn-bad-inputs}
[ -x "$generator" ] || { echo "FAIL: $generator is not built"; exit 1; }

# VORN.EXE reads the 50 MB DefaultConfig.xml through Wine's MSXML at about
# 0.2 MB/s on a loaded machine (one CPU second per 0.65 MB, against libxml2's
# whole 50 MB in a few seconds): far beyond vorn-wine's usual 120 s.
export VORN_WINE_TIMEOUT=${VORN_WINE_TIMEOUT:-900}

work=$(mktemp -d)
secret=$work/secret
mkfifo "$secret"
(echo "SECRET OUTSIDE THE PREFIX" >"$secret") &
writer=$!
cleanup() {
  kill "$writer" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mapfile -t scenarios < <("$generator" "$work/scenarios" "$secret" |
                         grep -E -- "${1:-.}")
[ ${#scenarios[@]} -gt 0 ] || { echo "FAIL: no scenario matches ${1:-}"; exit 1; }
"$here/both.sh" "${scenarios[@]}" >"$work/both.log"
rc=$?
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/both.log" | tail -1)
grep -vxF -- "$summary" "$work/both.log"
if [ -n "$summary" ] && ! kill -0 "$writer" 2>/dev/null; then
  echo "FAIL - the file the external entities and the DTD name was read"
  failed=${summary#*, }
  summary="${summary%%,*}, $((${failed%% *} + 1)) failed"
  rc=1
fi
[ -n "$summary" ] && echo "$summary"
exit $rc
