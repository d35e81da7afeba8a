#!/usr/bin/env bash
# The 32-bit suite: the shipped i686 VORN.EXE under 32-bit Wine, in an
# emulated x86 machine (this machine kind executes no 32-bit x86 code).
# One boot runs the scenarios on both backends through tests/wine/both.sh,
# the same runner and comparison as the 64-bit suite, with the i686 build
# and the i686 stand-ins. Back on this machine: the verdicts, and the
# write-filter calls each scenario listed in calls/ must make, in order, as
# the stand-in libraries recorded them.
#
# By default the scenarios where 32-bit code differs most (the calling
# convention of the write-filter libraries, their records' layout, pointer
# size): FBWF on now and on the next session with a first boot, EWF
# enabled, two EWF volumes, an EWF configuration that cannot be read, the
# DST patch and its verbs under an active filter, the patch run by the
# service control manager after the service's installation (whose dependency
# list only 32-bit Wine showed stored wrong, docs/x86vm.md): 9 Wine runs.
# A Wine run takes minutes under software emulation and the whole list
# (39 runs) 25 to 40 minutes.
#
# usage: suite.sh [SCENARIO...]
# Environment: VORN_X86VM_FULL=1 runs every scenario with a "both" file and
# the probe (a 32-bit program and a 32-bit service under Wine's service
# control manager); VORN_X86VM_JOBS scenarios at once in the guest (2);
# VORN_X86VM_TIMEOUT (seconds, default 2400; 7200 with the full list) bounds
# the guest; VORN_X86VM_KEEP=1 keeps the share folder and prints its path;
# VORN_X86VM_EXE runs another i686 VORN.EXE (default build/win32/VORN.EXE).
# Needs the native (vorn-sim, vorn-wine-device) and win32 builds.
# VORN_SKIP_X86VM=1 skips the suite (exit 77) for a quick local loop.
# Prints "N passed, N failed"; exit 0 when all passed.
set -uo pipefail
if [ -n "${VORN_SKIP_X86VM:-}" ]; then
  echo "SKIP: VORN_SKIP_X86VM is set"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cc=${CC_MINGW32:-i686-w64-mingw32-gcc-win32}
exe=${VORN_X86VM_EXE:-$root/build/win32/VORN.EXE}
full=${VORN_X86VM_FULL:-}
limit=${VORN_X86VM_TIMEOUT:-$([ -n "$full" ] && echo 7200 || echo 2400)}
if [ $# -eq 0 ] && [ -z "$full" ]; then
  # Longest first: the two runs of the verbs and of the installed service,
  # then one run each.
  set -- dst-verbs-filtered filter-dst-on filter-fbwf-next-session filter-dst-off \
    filter-ewf-enabled filter-ewf-two-volumes filter-ewf-config-fails
fi

# shellcheck source=../check.sh
. "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
# shellcheck source=stage.sh
. "$here/stage.sh"
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

# --- What the guest runs: the probe programs, and the tree (stage.sh). ---
stage() {
  mkdir -p "$share/probe"
  "$cc" -O1 -o "$share/probe/hello.exe" "$here/guest/hello.c" &&
    "$cc" -O1 -o "$share/probe/svc.exe" "$here/guest/svc.c" -ladvapi32 || return 1
  stage_tree "$share" "$exe" || return 1
  printf '%s\n' "$@" >"$share/scenarios"
  echo "${VORN_X86VM_JOBS:-2}" >"$share/jobs"
  [ -n "$full" ] && : >"$share/probe-wanted"
  return 0
}
stage "$@" || { check "the guest's programs and scenarios are staged" false; finish; }

# --- One boot. ---
start=$SECONDS
"$here/run.sh" "$share" "$limit"
rc=$?
echo "x86vm: image and guest took $((SECONDS - start)) s"
grep -h '^x86vm guest:' "$share/job.log" 2>/dev/null
check "the guest ran its job to the end (exit $rc)" [ "$rc" -eq 0 ]

# --- The scenarios: both.sh's verdicts, then the write-filter calls. ---
if [ -s "$share/both.log" ]; then
  sed -n '/^ok   - \|^FAIL - \|^       /p' "$share/both.log"
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$share/both.log" | tail -1)
  if [ -n "$line" ]; then
    passed=$((passed + ${line%% *}))
    line=${line#*, }
    failed=$((failed + ${line%% *}))
  else
    check "both.sh ended with its summary" false
    tail -20 "$share/both.log"
  fi
else
  check "both.sh ran in the guest" false
fi

# The entry points the stand-ins saw, one a line, in order.
filter_calls() {
  grep '"kind":"writeFilterCall"' "$1/journal.jsonl" 2>/dev/null |
    sed -E 's/.*"entry":"([^"]*)".*/\1/'
}
for expected in "$here"/calls/*; do
  name=$(basename "$expected")
  [ -d "$share/kept/$name" ] || continue
  if diff "$expected" <(filter_calls "$share/kept/$name/wine") >"$share/calls.diff"; then
    check "$name: the i686 build made the write-filter calls in order" true
  else
    check "$name: the i686 build made the write-filter calls in order (< expected, > seen)" false
    sed 's/^/       /' "$share/calls.diff"
  fi
done

# When each scenario was done, counted from the start of the scenarios.
if [ -d "$share/kept" ] && [ -e "$share/started" ]; then
  first=$(stat -c %Y "$share/started")
  for d in "$share"/kept/*; do
    [ -d "$d" ] && echo "x86vm: $(basename "$d") done $(( $(stat -c %Y "$d") - first )) s after the start"
  done | sort -t' ' -k4 -n
fi

# --- The probe. ---
[ -n "$full" ] || finish
p=$share/probe
has() { grep -q -- "$2" "$p/$1" 2>/dev/null; }
state_after() {  # section state: the first query after "== section" shows the state
  sed -n "/^== $1/,\$p" "$p/sc.out" 2>/dev/null | grep -m1 'STATE' | grep -q "$2"
}
if [ -e "$p/wineboot.rc" ]; then
  check "wineboot -i made a 32-bit prefix" [ "$(cat "$p/wineboot.rc")" = 0 ]
fi
check "probe: a 32-bit program ran as 32-bit code and its exit code came back" \
  eval 'has hello.out "hello from 32-bit code" && [ "$(cat "$p/hello.rc" 2>/dev/null)" = 7 ]'
check "probe: sc create installed a 32-bit service" has sc.out "^create exit 0"
check "probe: the service was RUNNING after sc start, as 32-bit code" \
  eval 'state_after "after start" RUNNING && has svc.txt "running as 32-bit code"'
check "probe: the service was STOPPED after sc stop" state_after "after stop" STOPPED
if [ "$failed" -ne 0 ]; then
  echo "--- probe/sc.out"; cat "$p/sc.out" 2>/dev/null
  echo "--- job.log (end)"; tail -30 "$share/job.log" 2>/dev/null
fi
finish
