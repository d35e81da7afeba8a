#!/usr/bin/env bash
# Builds the stand-ins of the device image's libraries and programs and the
# helper programs of the Wine runs into OUTDIR (see README.md).
#   build.sh ARCH OUTDIR     ARCH: win64 (x86_64) or win32 (i686)
set -euo pipefail

arch=${1:?usage: build.sh win64|win32 OUTDIR}
out=${2:?usage: build.sh win64|win32 OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
case $arch in
  win64) cc=${CC_MINGW64:-x86_64-w64-mingw32-gcc-win32}; dll_flags=() ;;
  # 32-bit stdcall symbols carry @N; the real DLLs export them undecorated.
  win32) cc=${CC_MINGW:-i686-w64-mingw32-gcc-win32}; dll_flags=(-Wl,--kill-at) ;;
  *) echo "build.sh: unknown architecture '$arch' (win64 or win32)" >&2; exit 2 ;;
esac
mkdir -p "$out"
cflags=(-std=c11 -O1 -Wall -Wextra -Werror -I"$here" -static-libgcc)

dll() {  # name sources... [-D...]
  local name=$1; shift
  # No export but the ones marked: a library without any exports nothing.
  "$cc" "${cflags[@]}" -shared -Wl,--exclude-all-symbols "${dll_flags[@]}" -o "$out/$name" "$@" "$here/record.c" -ladvapi32
}
exe() {  # name sources...
  local name=$1; shift
  "$cc" "${cflags[@]}" -mwindows -o "$out/$name" "$@" "$here/record.c" -ladvapi32 -luser32
}

dll FBWFLIB.dll "$here/fbwflib.c"
dll EWFAPI.dll "$here/ewfapi.c"
dll UPnPAgent.dll "$here/upnpagent.c"
dll UPnPAgent-nounreg.dll "$here/upnpagent.c" -DVORN_NO_UNREGISTER
dll UPnPAgent-noreg.dll "$here/upnpagent.c" -DVORN_NO_REGISTER
dll UPnPAgent-noentry.dll "$here/upnpagent.c" -DVORN_NO_UNREGISTER -DVORN_NO_REGISTER
exe UPnPRegistrar.exe "$here/upnpregistrar.c"
exe vorn-dialogs.exe "$here/dialogs.c" "$here/desktops.c"
exe vorn-timechange.exe "$here/timechange.c" "$here/desktops.c"
exe vorn-control.exe "$here/control.c"
exe vorn-protect.exe "$here/protect.c"
