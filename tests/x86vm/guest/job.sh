#!/bin/bash
# Inside the emulated machine, as its init's job (the machine is a throwaway:
# no namespaces needed). First the probe: a 32-bit prefix, a 32-bit program
# and a 32-bit service through Wine's service control manager; then, when
# the host staged them, the scenario devices through the Wine runner.
# Everything it learns stays in /vorn (the 9p share) for the host to check.
# No Mono or Gecko: their install prompts would wait for a display.
export WINEARCH=win32 WINEDEBUG=fixme-all WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY WAYLAND_DISPLAY
cd /vorn || exit 1
mkdir -p probe

# Waits up to two minutes for the probe service to reach STATE.
await() {
  local i
  for i in $(seq 60); do
    timeout 60 wine sc query VornProbe 2>/dev/null | grep -q "STATE.*$1" && return
    sleep 2
  done
}

probe() {
  local out=/vorn/probe
  export WINEPREFIX=/tmp/probe-prefix
  SECONDS=0
  timeout 600 wineboot -i >"$out/wineboot.log" 2>&1
  echo "$?" >"$out/wineboot.rc"
  echo "$SECONDS" >"$out/wineboot.seconds"
  # The programs from the guest's own disk, not the share.
  mkdir -p "$WINEPREFIX/drive_c/probe"
  cp probe/hello.exe probe/svc.exe "$WINEPREFIX/drive_c/probe/"
  timeout 300 wine 'C:\probe\hello.exe' >"$out/hello.out" 2>"$out/hello.err"
  echo "$?" >"$out/hello.rc"
  # Wine ends its services once no program of the session is left.
  wine 'C:\probe\hello.exe' sleep 1800000 2>/dev/null &
  local keep=$!
  {
    timeout 120 wine sc create VornProbe binPath= 'C:\probe\svc.exe'
    echo "create exit $?"
    timeout 120 wine sc start VornProbe
    await RUNNING
    echo "== after start"
    timeout 120 wine sc query VornProbe
    timeout 120 wine sc stop VornProbe
    await STOPPED
    echo "== after stop"
    timeout 120 wine sc query VornProbe
  } 2>&1 | tr -d '\r' >"$out/sc.out"
  cp "$WINEPREFIX/drive_c/svc.txt" "$out/" 2>/dev/null
  kill "$keep" 2>/dev/null
  wineserver -k
  wait
  rm -rf "$WINEPREFIX"
  unset WINEPREFIX
}

SECONDS=0
probe
echo "x86vm guest: probe done in $SECONDS s"
if [ -x /vorn/suite/run ]; then
  SECONDS=0
  /vorn/suite/run
  echo "x86vm guest: suite done in $SECONDS s (exit $?)"
fi
true
