#!/usr/bin/env bash
# The 32-bit suite: the shipped i686 VORN.EXE under 32-bit Wine, in an
# emulated x86 machine (this machine kind executes no 32-bit x86 code).
# One boot of the machine runs the probe (a 32-bit program and a 32-bit
# service under Wine's service control manager) and the scenarios; the
# results come back through the share and are checked here.
#
# usage: suite.sh [--probe]     --probe: the probe alone
# Environment: VORN_X86VM_TIMEOUT (seconds, default 1800) bounds the guest;
# VORN_X86VM_KEEP=1 keeps the share folder and prints its path.
# Prints "N passed, N failed"; exit 0 when all passed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cc=${CC_MINGW32:-i686-w64-mingw32-gcc-win32}
probe_only=
[ "${1:-}" = --probe ] && probe_only=1

passed=0
failed=0
check() {  # description command...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; passed=$((passed + 1))
  else echo "FAIL - $what"; failed=$((failed + 1)); fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

share=$(mktemp -d "${TMPDIR:-/tmp}/vorn-x86vm.XXXXXX")
if [ -n "${VORN_X86VM_KEEP:-}" ]; then
  trap 'echo "x86vm: share folder $share"' EXIT
else
  trap 'rm -rf "$share"' EXIT
fi

# --- What the guest runs. ---
mkdir -p "$share/probe"
if ! { "$cc" -O1 -o "$share/probe/hello.exe" "$here/guest/hello.c" &&
       "$cc" -O1 -o "$share/probe/svc.exe" "$here/guest/svc.c" -ladvapi32; }; then
  check "the probe programs build with $cc" false
  finish
fi
cp "$here/guest/job.sh" "$share/job"

# --- One boot. ---
start=$SECONDS
"$here/run.sh" "$share" "${VORN_X86VM_TIMEOUT:-1800}"
rc=$?
echo "x86vm: image and guest run took $((SECONDS - start)) s (wineboot -i in the guest:" \
     "$(cat "$share/probe/wineboot.seconds" 2>/dev/null || echo ?) s)"
check "the guest ran its job to the end (exit $rc)" [ "$rc" -eq 0 ]

# --- The probe. ---
p=$share/probe
has() { grep -q -- "$2" "$p/$1" 2>/dev/null; }
state_after() {  # section state: the first query after "== section" shows the state
  sed -n "/^== $1/,\$p" "$p/sc.out" 2>/dev/null | grep -m1 'STATE' | grep -q "$2"
}
check "wineboot -i made a 32-bit prefix" [ "$(cat "$p/wineboot.rc" 2>/dev/null)" = 0 ]
check "a 32-bit program ran as 32-bit code" has hello.out "hello from 32-bit code"
check "its exit code came back" [ "$(cat "$p/hello.rc" 2>/dev/null)" = 7 ]
check "sc create installed a 32-bit service" has sc.out "^create exit 0"
check "the service was RUNNING after sc start" state_after "after start" RUNNING
check "the service ran as 32-bit code" has svc.txt "running as 32-bit code"
check "the service was STOPPED after sc stop" state_after "after stop" STOPPED
if [ "$failed" -ne 0 ]; then
  echo "--- probe/sc.out"; cat "$p/sc.out" 2>/dev/null
  echo "--- job.log (end)"; tail -30 "$share/job.log" 2>/dev/null
fi
finish
