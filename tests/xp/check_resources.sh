#!/usr/bin/env bash
# Fails unless a PE executable carries the resources COM registration needs,
# under language 0x407:
#  - "REGISTRY" 100 holding exactly the bytes of the registry script file;
#  - "TYPELIB" 1, a type library (it starts with "MSFT");
#  - the version resource 1 of VERSION (MAJOR.MINOR.PATCH, the project's
#    version): FILEVERSION and PRODUCTVERSION MAJOR,MINOR,PATCH,0, the
#    strings FileVersion and ProductVersion VERSION, ProductName "VORN",
#    CompanyName "Talvenor", a FileDescription, in the 0x407 Unicode block.
#
# usage: check_resources.sh EXE RGS VERSION
set -u

usage="usage: check_resources.sh EXE RGS VERSION"
exe=${1:?$usage}
rgs=${2:?$usage}
version=${3:?$usage}
windres=${WINDRES:-i686-w64-mingw32-windres}

dump=$("$windres" -J coff -O rc -i "$exe" 2>&1) || {
  echo "FAIL: $windres could not read the resources of $exe"; exit 1; }

# The block of one resource: from its "Type:/Name:" comment to its END,
# preceded by the language in effect (the dump states it only on change).
block() { python3 "$(dirname "$0")/rc_block.py" "$1" "$2" <<<"$dump"; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

registry=$(block '"REGISTRY"' 100)
if [ -z "$registry" ]; then
  fail "no resource REGISTRY 100"
else
  [ "$(grep '^LANGUAGE ' <<<"$registry" | tail -n 1)" = "LANGUAGE 7, 1" ] || fail "REGISTRY 100 is not under language 0x407"
  # The data as the dump writes it: C string literals between BEGIN and END.
  tmp=$(mktemp)
  trap 'rm -f "$tmp"' EXIT
  sed -n '/^BEGIN$/,/^END$/p' <<<"$registry" | sed '1d;$d' |
    sed -E 's/^[[:space:]]*"//; s/"[[:space:]]*$//; s/\\"/"/g' |
    while IFS= read -r line; do printf '%b' "$line"; done >"$tmp"
  cmp -s "$tmp" "$rgs" ||
    fail "REGISTRY 100 differs from $rgs ($(wc -c <"$tmp") bytes, expected $(wc -c <"$rgs"))"
fi

typelib=$(block '"TYPELIB"' 1)
if [ -z "$typelib" ]; then
  fail "no resource TYPELIB 1"
else
  [ "$(grep '^LANGUAGE ' <<<"$typelib" | tail -n 1)" = "LANGUAGE 7, 1" ] || fail "TYPELIB 1 is not under language 0x407"
  grep -q '^  0x5446534dL' <<<"$typelib" || fail "TYPELIB 1 is not a type library (no MSFT header)"
fi

# The version resource as the dump writes it: 'FILEVERSION 1, 0, 0, 0' and
# 'VALUE "Name", "text"' lines.
info=$(block version 1)
if [ -z "$info" ]; then
  fail "no version resource"
elif [[ ! $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]]; then
  fail "version '$version' is not MAJOR.MINOR.PATCH"
else
  numbers="${BASH_REMATCH[1]}, ${BASH_REMATCH[2]}, ${BASH_REMATCH[3]}, 0"
  [ "$(grep '^LANGUAGE ' <<<"$info" | tail -n 1)" = "LANGUAGE 7, 1" ] || fail "the version resource is not under language 0x407"
  for field in FILEVERSION PRODUCTVERSION; do
    got=$(sed -n "s/^ $field //p" <<<"$info")
    [ "$got" = "$numbers" ] || fail "$field is '$got', expected '$numbers'"
  done
  grep -q '^    BLOCK "040704b0"$' <<<"$info" || fail "no StringFileInfo block 040704b0"
  grep -q '^    VALUE "Translation", 0x407, 1200$' <<<"$info" || fail "no Translation 0x407, 1200"
  value() { sed -n "s/^      VALUE \"$1\", \"\(.*\)\"$/\1/p" <<<"$info"; }
  expect() {
    local got; got=$(value "$1")
    [ "$got" = "$2" ] || fail "$1 is '$got', expected '$2'"
  }
  expect FileVersion "$version"
  expect ProductVersion "$version"
  expect ProductName VORN
  expect CompanyName Talvenor
  expect OriginalFilename VORN.EXE
  [ -n "$(value FileDescription)" ] || fail "no FileDescription"
fi

[ "$failures" -eq 0 ] && echo "ok: REGISTRY 100, TYPELIB 1 and version $version present"
exit $((failures > 0))
