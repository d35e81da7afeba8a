#!/usr/bin/env bash
# Fails unless every function in the delay-import table of EXE has a
# stand-in in os/win32/delay_load.cpp (the list in delayed_functions.h and
# the entries written out there): without one, a missing DLL or entry point
# ends in the delay-load helper's exception instead of a failed call.
# usage: check_delay_stubs.sh EXE
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: check_delay_stubs.sh EXE}
sources=("$here/../../os/win32/delayed_functions.h" "$here/../../os/win32/delay_load.cpp")
delayed=$(python3 "$here/../../scripts/pe_delay_imports.py" list "$exe") || exit 1
[ -n "$delayed" ] || { echo "FAIL: $exe has no delay-loaded imports"; exit 1; }
stubs=$(grep -hoE '^ *X\([A-Za-z0-9_]+|^ *\{"[A-Za-z0-9_]+"' "${sources[@]}" |
  sed -E 's/"$//; s/.*[("]//' | sort -u)
missing=0
for function in $(sed 's/.*!//' <<<"$delayed" | sort -u); do
  grep -qx "$function" <<<"$stubs" || { echo "FAIL: no stand-in for delay-loaded $function"; missing=$((missing + 1)); }
done
[ $missing = 0 ] || exit 1
echo "$exe: each of $(wc -l <<<"$delayed") delay-loaded functions has a stand-in"
