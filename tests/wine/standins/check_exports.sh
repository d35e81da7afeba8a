#!/usr/bin/env bash
# Builds the stand-ins for ARCH and fails unless every library exports
# exactly the undecorated names of the real one (no stdcall @N, no
# leading underscore), the UPnPAgent variants each one entry point less, or
# both.
#   check_exports.sh win64|win32
set -u

arch=${1:?usage: check_exports.sh win64|win32}
here=$(cd "$(dirname "$0")" && pwd)
case $arch in
  win64) objdump=x86_64-w64-mingw32-objdump ;;
  win32) objdump=i686-w64-mingw32-objdump ;;
  *) echo "unknown architecture $arch"; exit 2 ;;
esac
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
bash "$here/build.sh" "$arch" "$out" || { echo "FAIL: build.sh $arch"; exit 1; }

failed=0
expect() {  # file names...
  local file=$1; shift
  local got want
  got=$("$objdump" -p "$out/$file" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed '1d;/^[[:space:]]*$/d;s/.*[[:space:]]//' | sort)
  want=$(printf '%s\n' "$@" | sort)
  if [ "$got" = "$want" ]; then echo "ok   - $file exports $*"
  else echo "FAIL - $file exports: $(echo $got), expected: $*"; failed=$((failed + 1)); fi
}
expect FBWFLIB.dll FbwfIsFilterEnabled
expect EWFAPI.dll EwfMgrClose EwfMgrGetProtectedVolumeConfig EwfMgrGetProtectedVolumeList \
  EwfMgrOpenProtected EwfMgrVolumeNameEntryPop EwfMgrVolumeNameListDelete EwfMgrVolumeNameListIsEmpty
expect UPnPAgent.dll DllRegisterServer DllUnregisterServer
expect UPnPAgent-nounreg.dll DllRegisterServer
expect UPnPAgent-noreg.dll DllUnregisterServer
expect UPnPAgent-noentry.dll
# The libraries must load in a bare prefix: nothing beyond system DLLs.
for file in FBWFLIB.dll EWFAPI.dll UPnPAgent.dll UPnPRegistrar.exe vorn-dialogs.exe vorn-timechange.exe \
            vorn-control.exe vorn-protect.exe; do
  extra=$("$objdump" -p "$out/$file" | sed -n 's/.*DLL Name: \([^ ]*\).*/\1/p' | tr 'A-Z' 'a-z' |
          grep -vxE 'kernel32.dll|advapi32.dll|user32.dll|msvcrt.dll')
  if [ -z "$extra" ]; then echo "ok   - $file imports system DLLs only"
  else echo "FAIL - $file imports $extra"; failed=$((failed + 1)); fi
done
[ "$failed" -eq 0 ]
