#!/usr/bin/env bash
# Runs a job in the emulated x86 machine (software emulation: this machine
# kind executes no 32-bit x86 code, the emulated one does) and brings its
# results back.
#
# usage: run.sh [--write DISK] SHARE_DIR [TIMEOUT_SECONDS]
#   SHARE_DIR holds an executable `job` (run as root inside the guest, in
#   SHARE_DIR, which the guest sees as /vorn through 9p) and whatever the job
#   needs; the job's files stay there afterwards, with job.log (its output),
#   job.rc and serial.log (the guest's console).
# Exit: the job's exit code; 124 when the guest did not finish in time (it is
# killed; default 1500 s); 125 when the guest ended without the job's code.
# Headless, no network. The disk is the base image (image.sh) with the Wine
# layer over it (prefix.sh), never written (a snapshot of it); --write boots
# DISK itself, written, with the kernel of the qcow2 overlay's folder
# (prefix.sh makes the Wine layer so).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
write=
if [ "${1:-}" = --write ]; then write=$(readlink -f "$2"); shift 2; fi
share=$(readlink -f "${1:?usage: run.sh [--write DISK] SHARE_DIR [TIMEOUT_SECONDS]}")
limit=${2:-1500}
[ -x "$share/job" ] || { echo "run.sh: $share/job is missing or not executable" >&2; exit 2; }
command -v qemu-system-x86_64 >/dev/null ||
  { echo "run.sh: qemu-system-x86_64 is missing (scripts/install-deps.sh --all)" >&2; exit 2; }

if [ -n "$write" ]; then
  disk=$write drive="file=$write,format=qcow2,if=virtio"
else
  base=$("$here/image.sh") && disk=$("$here/prefix.sh" "$base") || exit 2
  drive="file=$disk,format=qcow2,if=virtio,snapshot=on"
fi
image=$(dirname "$disk")
rm -f "$share/job.rc" "$share/job.log" "$share/serial.log"

# -cpu max without SMAP: with the emulated SMAP every 32-bit Wine process
# dies on a kernel Oops at a 32-bit iret (QEMU 7.2); without LA57 the kernel
# keeps 4-level paging, which TCG emulates faster.
start=$(date +%s)
timeout --kill-after=15 "$limit" qemu-system-x86_64 \
  -nodefaults -no-user-config -display none -no-reboot \
  -accel tcg,thread=multi -cpu max,-smap,-la57 -smp 2 -m 4G \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
  -append "console=ttyS0 root=/dev/vda rw init=/sbin/vorn-init panic=1 quiet loglevel=3" \
  -drive "$drive" \
  -virtfs "local,path=$share,mount_tag=vorn,security_model=none,id=vorn" \
  -serial "file:$share/serial.log" -monitor none -nic none
qemu_rc=$?
echo "x86vm: guest ran $(( $(date +%s) - start )) s" >&2
if [ "$qemu_rc" -eq 124 ] || [ "$qemu_rc" -eq 137 ]; then
  echo "x86vm: the guest did not finish within $limit s; killed (console: $share/serial.log)" >&2
  exit 124
fi
[ -s "$share/job.rc" ] || {
  echo "x86vm: the guest ended without the job's exit code (console: $share/serial.log)" >&2
  tail -20 "$share/serial.log" >&2
  exit 125
}
exit "$(cat "$share/job.rc")"
