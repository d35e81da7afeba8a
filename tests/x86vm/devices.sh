#!/usr/bin/env bash
# Device folders on the shipped 32-bit build: tests/wine/vorn-wine's
# contract with the i686 VORN.EXE under 32-bit Wine, in one boot of the
# emulated x86 machine, each folder written back in place as vorn-wine
# writes it (registry.reg, device.json, c/, journal.jsonl).
#
# usage: devices.sh DIR...
# Each device runs as vorn-wine runs it without arguments: by hand with its
# imagePath, or as the service when device.json says "startedBy": "scm".
# For each: vorn-wine's output and error output, then "DIR: exit N".
# Exit: with one folder, vorn-wine's exit code (the program's, 77 for a
# device Wine cannot realise, 64 to 75 the runner's errors); with several,
# 0 when every run exited 0, else 1; 70 when the machine could not run them.
# Environment: VORN_X86VM_EXE (another i686 VORN.EXE), VORN_X86VM_TIMEOUT
# (seconds for the boot, default 600 per device), VORN_X86VM_KEEP=1.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -ge 1 ] || { echo "usage: devices.sh DIR..." >&2; exit 64; }
for dir in "$@"; do
  [ -f "$dir/device.json" ] || [ -f "$dir/registry.reg" ] ||
    { echo "devices.sh: $dir is not a device folder" >&2; exit 65; }
done
exe=${VORN_X86VM_EXE:-$root/build/win32/VORN.EXE}
limit=${VORN_X86VM_TIMEOUT:-$((600 * $#))}
# shellcheck source=stage.sh
. "$here/stage.sh"

share=$(mktemp -d "${TMPDIR:-/tmp}/vorn-x86vm.XXXXXX")
if [ -n "${VORN_X86VM_KEEP:-}" ]; then
  trap 'echo "x86vm: share folder $share"' EXIT
else
  trap 'rm -rf "$share"' EXIT
fi

# Numbered in the order given; the guest runs them in that order.
stage_tree "$share" "$exe" || exit 70
n=0
for dir in "$@"; do
  n=$((n + 1))
  mkdir -p "$share/devices/$(printf '%03d' $n)"
  cp -a "$dir" "$share/devices/$(printf '%03d' $n)/device" || exit 70
done

"$here/run.sh" "$share" "$limit" >&2
rc=$?
[ "$rc" -eq 0 ] || { echo "devices.sh: the emulated machine did not run the devices (exit $rc)" >&2; exit 70; }

# The run's folder in place of DIR: copied beside it first, then swapped, so
# that a failed copy leaves DIR as it was.
write_back() {
  local from=$1 dir=${2%/} tmp
  tmp=$(mktemp -d "$(dirname "$dir")/.vorn-device.XXXXXX") || return 1
  if cp -a "$from" "$tmp/device" && mv "$dir" "$tmp/old" && mv "$tmp/device" "$dir"; then
    rm -rf "$tmp"
  else
    [ -e "$dir" ] || mv "$tmp/old" "$dir"
    rm -rf "$tmp"
    return 1
  fi
}

# Back in place: a folder is replaced only by a run that ended.
n=0 status=0 only=
for dir in "$@"; do
  n=$((n + 1))
  d=$share/devices/$(printf '%03d' $n)
  cat "$d/out" 2>/dev/null
  cat "$d/err" >&2 2>/dev/null
  if [ ! -s "$d/rc" ]; then
    echo "$dir: not run" >&2
    status=1 only=70
    continue
  fi
  code=$(cat "$d/rc")
  echo "$dir: exit $code" >&2
  write_back "$d/device" "$dir" || { echo "devices.sh: cannot write $dir back" >&2; exit 74; }
  [ "$code" -eq 0 ] || status=1
  only=$code
done
[ $# -eq 1 ] && exit "$only"
exit "$status"
