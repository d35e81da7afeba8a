#!/usr/bin/env bash
# The Wine layer of the emulated machine's disk: the Wine runner's template
# prefix, made inside the machine by the same 32-bit Wine that runs the suite
# ("vorn-wine --template" in a boot of its own, the only one that writes the
# disk), kept as a qcow2 overlay over the base image. Every suite boot then
# finds the template in the runner's cache (/var/cache/vorn-wine) instead of
# waiting for wineboot, which takes minutes under software emulation.
#
# Keyed by the base image and by the text of the runner, of the template
# maker (tests/wine/wine_template.cpp, in vorn-wine-device) and of this script:
#   <image dir>/wine-<hash>.qcow2 beside root.img, vmlinuz, initrd.img
#
# usage: prefix.sh IMAGE_DIR      prints the overlay's path (made when missing)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
base=$(cd "${1:?usage: prefix.sh IMAGE_DIR}" && pwd)
runner=$root/tests/wine/vorn-wine
maker=$root/build/native/vorn-wine-device  # its "template" makes the prefix
hash=$( { echo "$base"; cat "$0" "$runner" "$root/tests/wine/wine_template.cpp"; } |
  sha256sum | cut -c1-16)
disk=$base/wine-$hash.qcow2
if [ -s "$disk" ]; then
  touch "$disk"  # in use: kept by the pruning below
  echo "$disk"
  exit 0
fi
command -v qemu-img >/dev/null ||
  { echo "prefix.sh: qemu-img is missing (scripts/install-deps.sh --all)" >&2; exit 1; }

exec 9>"$base/.lock-wine"
flock 9
if [ -s "$disk" ]; then echo "$disk"; exit 0; fi

share=$(mktemp -d "${TMPDIR:-/tmp}/vorn-x86vm-prefix.XXXXXX")
trap 'rm -rf "$share" "$disk.new"' EXIT
cp "$runner" "$share/vorn-wine" && cp "$maker" "$share/vorn-wine-device"
cat >"$share/job" <<'JOB'
#!/bin/bash
export VORN_WINE_ARCH=win32 VORN_WINE_CACHE=/var/cache/vorn-wine TMPDIR=/var/tmp
export VORN_WINE_DEVICE=/vorn/vorn-wine-device
SECONDS=0
t=$(bash /vorn/vorn-wine --template) && [ -d "$t" ] || exit 1
echo "x86vm prefix: $t made in $SECONDS s ($(du -sm "$t" | cut -f1) MB)"
sync
JOB
chmod +x "$share/job"
echo "x86vm image: the Wine template prefix, made in the guest ($(date +%T))" >&2
qemu-img create -q -f qcow2 -b "$base/root.img" -F raw "$disk.new"
"$here/run.sh" --write "$disk.new" "$share" "${VORN_X86VM_PREFIX_TIMEOUT:-1800}" >&2 ||
  { echo "prefix.sh: the guest could not make the template prefix" >&2; cat "$share/job.log" >&2; exit 1; }
cat "$share/job.log" >&2
mv "$disk.new" "$disk"
# Overlays of other versions of the runner that no run used for a week.
find "$base" -maxdepth 1 -name 'wine-*.qcow2' ! -newermt '-7 days' -delete
echo "$disk"
