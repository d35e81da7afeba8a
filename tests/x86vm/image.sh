#!/usr/bin/env bash
# Builds the emulated x86 machine's disk: Debian 12 (amd64) with 32-bit Wine
# (wine32:i386, no wine64), a kernel and initrd beside it, and our init as the
# program the kernel starts (guest-init.sh). Built from Debian's packages
# through the mirror apt is configured with here, as root.
#
# The result is cached outside the work tree, keyed by a hash of this recipe
# and of guest-init.sh, so an unchanged recipe is built once per machine:
#   ${VORN_X86VM_CACHE:-~/.cache/vorn/x86vm}/<hash>/{root.img,vmlinuz,initrd.img}
#
# usage: image.sh        prints the image directory (building it when missing)
# Build progress goes to standard error and to <cache>/build-<hash>.log.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${VORN_X86VM_CACHE:-$HOME/.cache/vorn/x86vm}
suite=bookworm
# iproute2: adapters as veth pairs; libxml2: the Wine runner's native half
# (built on the host, amd64 like the guest).
packages=(wine wine32:i386 linux-image-amd64 initramfs-tools kmod iproute2 procps libxml2)

hash=$( { cat "$0" "$here/guest-init.sh"; } | sha256sum | cut -c1-16)
dir=$cache/$hash
if [ -s "$dir/root.img" ] && [ -s "$dir/vmlinuz" ] && [ -s "$dir/initrd.img" ]; then
  echo "$dir"
  exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "image.sh: building the guest needs root (debootstrap)" >&2; exit 1; }
for tool in debootstrap mkfs.ext4; do
  command -v "$tool" >/dev/null || { echo "image.sh: $tool is missing (scripts/install-deps.sh --all)" >&2; exit 1; }
done

# The Debian mirror apt uses here, for the suite.
url=$(python3 "$here/apt_mirror.py" "$suite" || true)
[ -n "$url" ] || { echo "image.sh: no apt source for $suite in /etc/apt" >&2; exit 1; }

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
# Another run may have built it while this one waited.
if [ -s "$dir/root.img" ]; then echo "$dir"; exit 0; fi

log=$cache/build-$hash.log
work=$(mktemp -d "$cache/.build-XXXXXX")
root=$work/root
cleanup() {
  for m in proc sys dev/pts dev; do umount -l "$root/$m" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
step() { echo "x86vm image: $* ($(date +%T))" >&2; }

step "debootstrap $suite from $url"
debootstrap --variant=minbase --arch=amd64 "$suite" "$root" "$url" >>"$log" 2>&1 ||
  { tail -20 "$log" >&2; exit 1; }

step "32-bit Wine, kernel and initramfs in the chroot"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
# The initramfs holds only what finds the root disk (virtio, ext4): made
# with every module it takes minutes here and seconds to unpack in the guest.
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  sh -ec "dpkg --add-architecture i386
          apt-get update -qq
          apt-get install -y -qq --no-install-recommends initramfs-tools
          echo MODULES=list >/etc/initramfs-tools/conf.d/vorn
          printf '%s\\n' virtio_pci virtio_blk ext4 >>/etc/initramfs-tools/modules
          apt-get install -y -qq --no-install-recommends ${packages[*]}
          apt-get clean" >>"$log" 2>&1 || { tail -20 "$log" >&2; exit 1; }
for m in dev/pts dev sys proc; do umount "$root/$m"; done
rm -f "$root/usr/sbin/policy-rc.d"

step "kernel out, init in, ext4 image"
cp -L "$root/vmlinuz" "$work/vmlinuz"
cp -L "$root/initrd.img" "$work/initrd.img"
rm -rf "$root"/usr/share/doc/* "$root"/usr/share/man/* "$root"/var/lib/apt/lists/* "$root"/boot/initrd.img*
install -m 755 "$here/guest-init.sh" "$root/sbin/vorn-init"
echo vorn-x86vm >"$root/etc/hostname"
mkdir -p "$root/vorn"
# Room for Wine prefixes and device folders besides the system.
size=$(( $(du -sm "$root" | cut -f1) + 1536 ))
mkfs.ext4 -q -F -L vornroot -d "$root" "$work/root.img" "${size}M" >>"$log" 2>&1 ||
  { tail -20 "$log" >&2; exit 1; }
rm -rf "$root"

mkdir -p "$dir"
mv "$work/vmlinuz" "$work/initrd.img" "$dir/"
mv "$work/root.img" "$dir/root.img"
step "image ready: $dir ($((size)) MB)"
echo "$dir"
