#!/bin/bash
# The emulated machine's first and only program (the kernel's init): mounts
# what a job needs, runs the job the host put on the 9p share (/vorn/job),
# leaves its output and exit code there and powers the machine off. Nothing
# else runs, so the whole machine is the job's throwaway sandbox.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM=dumb

mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs -o size=2g tmpfs /tmp
hostname vorn-x86vm
ip link set lo up 2>/dev/null

off() {
  sync
  umount /vorn 2>/dev/null
  echo "vorn-init: power off" >/dev/console
  poweroff -f
  echo o >/proc/sysrq-trigger
  sleep 10
}

modprobe 9pnet_virtio && modprobe 9p &&
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=none vorn /vorn || {
  echo "vorn-init: the 9p share could not be mounted" >/dev/console
  off
}

echo "vorn-init: job start $(date +%T)" >/dev/console
if [ -x /vorn/job ]; then
  # The job's output goes to the share and, for the serial log, the console.
  (cd /vorn && /vorn/job) 2>&1 | tee /vorn/job.log >/dev/console
  rc=${PIPESTATUS[0]}
else
  echo "vorn-init: no /vorn/job" >/dev/console
  rc=127
fi
echo "$rc" >/vorn/job.rc
echo "vorn-init: job end $(date +%T), exit $rc" >/dev/console
off
