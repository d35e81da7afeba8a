#!/usr/bin/env bash
# First end-to-end check of VORN.EXE under Wine: registry, event log and
# process start are Wine's; the XP Embedded write-filter DLLs, which Wine
# lacks, are stand-ins built here (no filter active).
#
# Runs in namespaces of its own (user, network, host name) with every
# capability dropped: nothing it starts can change this machine's clock,
# host name or power state, nor reach a network. Headless: no display.
#
# usage: smoke.sh VORN.EXE
# Prints "N passed, N failed"; exit 0 when all passed, 1 on a failure,
# 77 (skipped) when this machine cannot run 32-bit Wine.
set -u

exe_src=$(readlink -f "${1:?usage: smoke.sh VORN.EXE}")
cc=${CC_MINGW:-i686-w64-mingw32-gcc-win32}
appid='{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}'

skip() { echo "SKIP: $*"; exit 77; }

if [ -z "${VORN_WINE_ISOLATED:-}" ]; then
  command -v unshare >/dev/null || skip "unshare is not available"
  unshare -U -n -u --map-root-user true 2>/dev/null ||
    skip "private namespaces cannot be created here"
  exec env VORN_WINE_ISOLATED=1 unshare -U -n -u --map-root-user \
      setpriv --bounding-set=-all --inh-caps=-all bash "$0" "$@"
fi

command -v wine >/dev/null || skip "wine is not installed"
[ -r "$exe_src" ] || { echo "FAIL: $exe_src not found"; echo "0 passed, 1 failed"; exit 1; }

work=$(mktemp -d)
export WINEARCH=win32 WINEPREFIX=$work/prefix WINEDEBUG=-all,+eventlog
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../check.sh
. "$(dirname "${BASH_SOURCE[0]}")/../check.sh"

# The program and its stand-in write-filter libraries, side by side.
bin=$work/bin
mkdir -p "$bin"
cp "$exe_src" "$bin/VORN.EXE"
cat >"$work/fbwf.c" <<'SRC'
#include <windows.h>
ULONG WINAPI FbwfIsFilterEnabled(PULONG currentSession, PULONG nextSession) {
  if (!currentSession || !nextSession) return ERROR_INVALID_PARAMETER;
  *currentSession = 0;
  *nextSession = 0;
  return NO_ERROR;
}
SRC
cat >"$work/ewf.c" <<'SRC'
#include <windows.h>
typedef struct Entry { struct Entry* Next; WCHAR Name[1]; } Entry;
Entry* WINAPI EwfMgrGetProtectedVolumeList(void) { return NULL; }
BOOL WINAPI EwfMgrVolumeNameListIsEmpty(Entry* list) { return list == NULL; }
HANDLE WINAPI EwfMgrOpenProtected(LPCWSTR name) {
  (void)name;
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}
void* WINAPI EwfMgrGetProtectedVolumeConfig(HANDLE device) {
  (void)device;
  SetLastError(ERROR_INVALID_HANDLE);
  return NULL;
}
BOOL WINAPI EwfMgrClose(HANDLE device) { (void)device; return TRUE; }
VOID WINAPI EwfMgrVolumeNameEntryPop(Entry** list) {
  if (*list) { Entry* next = (*list)->Next; LocalFree(*list); *list = next; }
}
VOID WINAPI EwfMgrVolumeNameListDelete(Entry* list) {
  while (list) { Entry* next = list->Next; LocalFree(list); list = next; }
}
SRC
"$cc" -shared -O1 -Wl,--kill-at -o "$bin/FBWFLIB.dll" "$work/fbwf.c" &&
  "$cc" -shared -O1 -Wl,--kill-at -o "$bin/EWFAPI.dll" "$work/ewf.c" ||
  { echo "FAIL: stand-in DLLs could not be built"; echo "0 passed, 1 failed"; exit 1; }

# Start the session first, its output to nowhere: every process of a Wine
# session inherits the output handles of the one that started it, and a
# pipe held open by them would never reach end-of-file.
mkdir -p "$WINEPREFIX"
wineserver -p
timeout 600 wine cmd /c exit >/dev/null 2>&1 ||
  skip "Wine cannot start 32-bit Windows programs on this machine"

run() {  # stdout-file stderr-file args... ; sets rc
  local out=$1 err=$2; shift 2
  timeout 300 wine "$bin/VORN.EXE" "$@" >"$out" 2>"$err"
  rc=$?
}
event_lines() { grep -a ':eventlog:' "$1"; }

# The capability query answers on standard output and does nothing else.
run "$work/version.out" "$work/version.err" -Version
check "-Version exits 0 (got $rc)" [ "$rc" -eq 0 ]
check '-Version prints "FBWF Support"' grep -aq 'FBWF Support' "$work/version.out"
check "-Version reports no event" bash -c "! grep -aq ':eventlog:' '$work/version.err'"

# Without a verb and without the program's AppID key: exit code 2, silently.
run "$work/nokey.out" "$work/nokey.err"
check "no verb, no AppID key: exit 2 (got $rc)" [ "$rc" -eq 2 ]
check "no verb, no AppID key: no event" bash -c "! grep -aq ':eventlog:' '$work/nokey.err'"

# With the AppID key (a plain local server, no LocalService) the job runs
# as a process and stops for want of image information.
printf 'REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\AppID\\%s]\r\n@="VORN"\r\n' "$appid" >"$work/appid.reg"
timeout 300 wine regedit /S "$(winepath -w "$work/appid.reg" 2>/dev/null)" >/dev/null 2>&1
check "AppID key seeded" timeout 300 wine reg query "HKCR\\AppID\\$appid" >/dev/null 2>&1
run "$work/job.out" "$work/job.err"
check "job without image information reports the error event" \
  grep -aq 'err:eventlog:.*No imageinformations were found in the registry' "$work/job.err"

if [ "$failed" -gt 0 ]; then
  for f in "$work"/*.err; do echo "--- $(basename "$f")"; tail -n 20 "$f"; done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
