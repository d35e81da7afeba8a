#!/usr/bin/env bash
# The 64-bit test build of VORN.EXE under 64-bit Wine against the stand-ins
# of tests/wine/standins/: write-filter answers taken from the control key
# HKLM\SOFTWARE\VornTest, the calls they record in C:\vorntest\calls.jsonl,
# and the dialog answerer closing a verb's message box.
#
# Runs in namespaces of its own (user, network, host name) with every
# capability dropped: nothing it starts can change this machine's clock,
# host name or power state, nor reach a network. Headless: no display.
#
# usage: standins_test.sh VORN.EXE   (the win64 build)
# Prints "N passed, N failed"; exit 0 when all passed, 1 on a failure,
# 77 (skipped) when 64-bit Wine or private namespaces are unavailable.
set -u

here=$(cd "$(dirname "$0")" && pwd)
exe_src=$(readlink -f "${1:?usage: standins_test.sh VORN.EXE}")
appid='{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}'

skip() { echo "SKIP: $*"; exit 77; }

if [ -z "${VORN_WINE_ISOLATED:-}" ]; then
  command -v unshare >/dev/null || skip "unshare is not available"
  unshare -U -n -u --map-root-user true 2>/dev/null ||
    skip "private namespaces cannot be created here"
  exec env VORN_WINE_ISOLATED=1 unshare -U -n -u --map-root-user \
      setpriv --bounding-set=-all --inh-caps=-all bash "$0" "$@"
fi

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64) || skip "64-bit Wine (wine64) is not installed"
[ -r "$exe_src" ] || { echo "FAIL: $exe_src not found"; echo "0 passed, 1 failed"; exit 1; }

work=$(mktemp -d)
export WINEARCH=win64 WINEPREFIX=$work/prefix WINEDEBUG=-all,+eventlog WINELOADER=$wine
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../check.sh
. "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
give_up() { echo "FAIL: $*"; echo "$passed passed, $((failed + 1)) failed"; exit 1; }

# The program beside its write-filter stand-ins.
bin=$work/bin
bash "$here/standins/build.sh" win64 "$bin" >"$work/build.log" 2>&1 ||
  give_up "stand-ins could not be built: $(cat "$work/build.log")"
cp "$exe_src" "$bin/VORN.EXE"

# Start the session first, its output to nowhere: every process of a Wine
# session inherits the output handles of the one that started it, and a
# pipe held open by them would never reach end-of-file.
mkdir -p "$WINEPREFIX"
wineserver -p
timeout 600 "$wine" cmd /c exit >/dev/null 2>&1 ||
  skip "Wine cannot start 64-bit Windows programs on this machine"
# Without a display no graphics driver loads and every window creation
# fails (a message box returns -1 at once); Wine's null driver keeps
# windows, message boxes among them, working headless. It takes effect in a
# new session.
timeout 300 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -k; wineserver -w; wineserver -p
timeout 300 "$wine" cmd /c exit >/dev/null 2>&1
calls=$WINEPREFIX/drive_c/vorntest/calls.jsonl

# seed NAME REG-LINES...: the AppID key (process mode) and a fresh control
# key holding the given lines; no record left from an earlier case.
seed() {
  local name=$1; shift
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\AppID\\%s]\r\n@="VORN"\r\n\r\n' "$appid"
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\VornTest]\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\VornTest]\r\n'
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } >"$work/$name.reg"
  timeout 300 "$wine" regedit /S "$(winepath -w "$work/$name.reg" 2>/dev/null)" >/dev/null 2>&1
  rm -f "$calls"
}
run() {  # name args... ; sets rc, output in $work/name.out and .err
  local name=$1; shift
  timeout 120 "$wine" "$bin/VORN.EXE" "$@" >"$work/$name.out" 2>"$work/$name.err"
  rc=$?
}
# Whether every given line is a line of the record file.
all_of() {
  local line
  for line in "$@"; do grep -qxF -- "$line" "$calls" 2>/dev/null || return 1; done
}
# The entries of the write-filter calls recorded, in order, one a line.
entries() { sed -n 's/^{"kind":"writeFilterCall","entry":"\([A-Za-z]*\)".*/\1/p' "$calls" 2>/dev/null; }

# The capability query answers on standard output and does nothing else.
run version -Version
check "-Version exits 0 (got $rc)" [ "$rc" -eq 0 ]
check '-Version prints "FBWF Support"' grep -aq 'FBWF Support' "$work/version.out"

# FBWF on for this session: the job stops with the warning, nothing else.
seed fbwf '"FbwfCurrent"=dword:00000001'
run fbwf
check "FBWF active: the write-filter warning event" \
  grep -aq 'warn:eventlog:.*An WriteFilter is active. Stopping execution.' "$work/fbwf.err"
check "FBWF active: FbwfIsFilterEnabled recorded with its answer" all_of \
  '{"kind":"writeFilterCall","entry":"FbwfIsFilterEnabled","result":0,"current":1,"next":0}'
check "FBWF active: EWF not asked" bash -c "! grep -q '\"entry\":\"EwfMgr' '$calls'"

# Two EWF volumes, the second enabled: each opened, queried, closed and
# popped in turn; the last one decides.
ewf_walk="FbwfIsFilterEnabled EwfMgrGetProtectedVolumeList EwfMgrVolumeNameListIsEmpty \
EwfMgrOpenProtected EwfMgrGetProtectedVolumeConfig EwfMgrClose EwfMgrVolumeNameEntryPop \
EwfMgrVolumeNameListIsEmpty \
EwfMgrOpenProtected EwfMgrGetProtectedVolumeConfig EwfMgrClose EwfMgrVolumeNameEntryPop \
EwfMgrVolumeNameListIsEmpty"
seed ewf2 '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\0]' '"State"=dword:00000001' \
  '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\1]' '"State"=dword:00000000'
run ewf2
check "EWF second volume enabled: the write-filter warning event" \
  grep -aq 'warn:eventlog:.*An WriteFilter is active. Stopping execution.' "$work/ewf2.err"
check "EWF two volumes: the calls in order" \
  [ "$(entries | tr '\n' ' ')" = "$ewf_walk " ]
check "EWF two volumes: two listed, both states read" all_of \
  '{"kind":"writeFilterCall","entry":"EwfMgrGetProtectedVolumeList","result":true,"volumes":2}' \
  '{"kind":"writeFilterCall","entry":"EwfMgrGetProtectedVolumeConfig","volume":"\\Device\\HarddiskVolume1","result":true,"state":1}' \
  '{"kind":"writeFilterCall","entry":"EwfMgrGetProtectedVolumeConfig","volume":"\\Device\\HarddiskVolume2","result":true,"state":0}'

# The same volumes the other way round: the last one is disabled, so no
# filter, and the job goes on (to the missing image information).
seed ewf2off '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\0]' '"State"=dword:00000000' \
  '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\1]' '"State"=dword:00000001'
run ewf2off
check "EWF last volume disabled: no write-filter warning, the job runs" bash -c "
  ! grep -aq 'An WriteFilter is active' '$work/ewf2off.err' &&
  grep -aq 'err:eventlog:.*No imageinformations were found in the registry' '$work/ewf2off.err'"

# A failed configuration query: the diagnostic with its error code, then the
# rest of the list released before the open volume is closed.
seed ewffail '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\0]' '"ConfigFails"=dword:0000001f' \
  '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\1]' '"State"=dword:00000000'
run ewffail
check "EWF config query fails: diagnostic with LE = 31" \
  grep -aq 'EwfMgrGetProtectedVolumeConfig failed LE = 31' "$work/ewffail.out"
check "EWF config query fails: the whole list deleted, then the volume closed" [ "$(tail -n 2 "$calls")" = \
  '{"kind":"writeFilterCall","entry":"EwfMgrVolumeNameListDelete","volumes":2}
{"kind":"writeFilterCall","entry":"EwfMgrClose","volume":"\\Device\\HarddiskVolume1","result":true}' ]
check "EWF config query fails: no filter, the job runs" \
  grep -aq 'err:eventlog:.*No imageinformations were found in the registry' "$work/ewffail.err"

# A failed close: the diagnostic, the list released, the close tried once
# more; no filter.
seed ewfclose '' '[HKEY_LOCAL_MACHINE\SOFTWARE\VornTest\Ewf\0]' '"CloseFails"=dword:00000015'
run ewfclose
check "EWF close fails: diagnostic with LE = 21" \
  grep -aq 'EwfMgrClose failed LE = 21' "$work/ewfclose.out"
check "EWF close fails: the list released, then the close tried again" [ "$(tail -n 3 "$calls")" = \
  '{"kind":"writeFilterCall","entry":"EwfMgrClose","volume":"\\Device\\HarddiskVolume1","result":false,"lastError":21}
{"kind":"writeFilterCall","entry":"EwfMgrVolumeNameListDelete","volumes":1}
{"kind":"writeFilterCall","entry":"EwfMgrClose","volume":"\\Device\\HarddiskVolume1","result":false,"lastError":21}' ]

# The UPnP stand-ins as any caller sees them: regsvr32 calls their entry
# points, the results from the control key.
seed upnp '"RegisterResult"=dword:80004005' '"RegistrarRunsMs"=dword:00000000'
timeout 60 "$wine" regsvr32 /s "$bin/UPnPAgent.dll" >/dev/null 2>&1
check "UPnPAgent: DllRegisterServer's result from the control key" all_of \
  '{"kind":"libraryCall","library":"UPnPAgent.dll","entry":"DllRegisterServer","result":-2147467259}'
timeout 60 "$wine" regsvr32 /s /u "$bin/UPnPAgent.dll" >/dev/null 2>&1
rc=$?
check "UPnPAgent: DllUnregisterServer succeeds by default (regsvr32 exit $rc)" all_of \
  '{"kind":"libraryCall","library":"UPnPAgent.dll","entry":"DllUnregisterServer","result":0}'
rm -f "$calls"
timeout 60 "$wine" regsvr32 /s "$bin/UPnPAgent-noreg.dll" >/dev/null 2>&1
timeout 60 "$wine" regsvr32 /s /u "$bin/UPnPAgent-nounreg.dll" >/dev/null 2>&1
check "UPnPAgent variants: the missing entry point is not there to call" \
  bash -c "! grep -q libraryCall '$calls' 2>/dev/null"
timeout 60 "$wine" "$bin/UPnPRegistrar.exe" /x 2 >/dev/null 2>&1
rc=$?
check "UPnPRegistrar: exit 0 (got $rc)" [ "$rc" -eq 0 ]
check "UPnPRegistrar: its start recorded with the command line" \
  grep -q '^{"kind":"processStart","commandLine":".*UPnPRegistrar.exe\\*"* /x 2","program":"UPnPRegistrar.exe","tick":[0-9]*}$' "$calls"

# No time-change window anywhere: the helper says so and records it.
rm -f "$calls"
timeout 60 "$wine" "$bin/vorn-timechange.exe" >/dev/null 2>&1
rc=$?
check "time change without a TimeChange window: exit 1 (got $rc)" [ "$rc" -eq 1 ]
check "time change without a TimeChange window: recorded" all_of \
  '{"kind":"timeChangeSent","found":false,"broadcast":false}'

# A verb's message box, answered: the answerer records it and presses its
# default button, so the verb ends.
seed dialog '' '[HKEY_LOCAL_MACHINE\SOFTWARE\DSTPatch]'
rm -f "$WINEPREFIX/drive_c/vorntest/stop"
"$wine" "$bin/vorn-dialogs.exe" >/dev/null 2>&1 &
dialogs=$!
run enabledst -enabledst
check "-enabledst ends once its box is answered (exit $rc)" [ "$rc" -eq 1 ]
check "-enabledst: the box recorded with caption, text and the button pressed" \
  grep -q '^{"kind":"messageBox","caption":"VORN","text":"DSTPatch was successfully enabled","button":1,' "$calls"
touch "$WINEPREFIX/drive_c/vorntest/stop"
check "the dialog answerer stops at the stop file" timeout 30 tail --pid="$dialogs" -f /dev/null

if [ "$failed" -gt 0 ]; then
  echo "--- calls.jsonl"; cat "$calls" 2>/dev/null
  for f in "$work"/*.err; do echo "--- $(basename "$f")"; tail -n 20 "$f"; done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
