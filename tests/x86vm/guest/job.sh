#!/bin/bash
# Inside the emulated machine, as its init's job. The machine is a throwaway,
# so the Wine runner leaves its namespaces out (VORN_WINE_GUEST). First the
# scenarios the host listed in /vorn/scenarios on both backends through the
# same both.sh as the 64-bit suite, with the i686 VORN.EXE and the i686
# stand-ins, /vorn/jobs of them at once; or the device folders
# /vorn/devices/N (devices.sh), each through vorn-wine, written back in
# place; then, when /vorn/probe-wanted exists, the probe: a 32-bit program
# and a 32-bit service under Wine's service control manager, in a copy of
# the runner's template prefix. Results stay in /vorn (the share).
cd /vorn || exit 1
mkdir -p probe kept
echo "x86vm guest: booted in $(cut -d' ' -f1 /proc/uptime) s"
# The template prefix was made in this machine with the image (prefix.sh);
# the runs' prefixes are hard-linked from it, so they are on the same disk.
export TMPDIR=/var/tmp VORN_WINE_CACHE=/var/cache/vorn-wine
if ls -d "$VORN_WINE_CACHE"/prefix-win32-* >/dev/null 2>&1; then
  echo "x86vm guest: the template prefix is in the image"
else
  echo "x86vm guest: no template prefix in the image; the first run makes one"
fi
# No Mono or Gecko: their install prompts would wait for a display.
export WINEARCH=win32 WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY WAYLAND_DISPLAY

if [ -d /vorn/tree ] && [ -e /vorn/scenarios ]; then
  : >/vorn/started
  SECONDS=0
  VORN_WINE_GUEST=1 VORN_WINE_ARCH=win32 VORN_BOTH_JOBS=$(cat /vorn/jobs 2>/dev/null || echo 1) \
    VORN_BOTH_KEEP=/vorn/kept VORN_WINE_TIMEOUT=${VORN_WINE_TIMEOUT:-300} \
    bash /vorn/tree/tests/wine/both.sh $(cat /vorn/scenarios 2>/dev/null) >/vorn/both.log 2>&1
  echo "$?" >/vorn/both.rc
  echo "x86vm guest: scenarios done in $SECONDS s (exit $(cat /vorn/both.rc))"
fi
if [ -d /vorn/devices ]; then
  SECONDS=0
  for d in /vorn/devices/*/; do
    d=${d%/}
    VORN_WINE_GUEST=1 VORN_WINE_ARCH=win32 VORN_WINE_TIMEOUT=${VORN_WINE_TIMEOUT:-300} \
      bash /vorn/tree/tests/wine/vorn-wine "$d/device" >"$d/out" 2>"$d/err"
    echo "$?" >"$d/rc"
  done
  echo "x86vm guest: devices done in $SECONDS s"
fi
[ -e /vorn/probe-wanted ] || exit 0

# Waits up to two minutes for the probe service to reach STATE.
await() {
  local i
  for i in $(seq 60); do
    timeout 60 wine sc query VornProbe 2>/dev/null | grep -q "STATE.*$1" && return
    sleep 2
  done
}

probe() {
  local out=/vorn/probe template
  export WINEPREFIX=/var/tmp/probe-prefix WINEDEBUG=fixme-all
  template=$(ls -d "$VORN_WINE_CACHE"/prefix-win32-* 2>/dev/null | head -1)
  if [ -n "$template" ]; then
    cp -a "$template" "$WINEPREFIX" && chmod -R u+w "$WINEPREFIX"
  else
    SECONDS=0
    timeout 900 wineboot -i >"$out/wineboot.log" 2>&1
    echo "$?" >"$out/wineboot.rc"
    echo "$SECONDS" >"$out/wineboot.seconds"
  fi
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
}

SECONDS=0
probe
echo "x86vm guest: probe done in $SECONDS s"
true
