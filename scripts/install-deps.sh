#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test VORN.
# Run as root (apt-get); otherwise it only says what is missing.
#   scripts/install-deps.sh          the native build and vorn-sim
#   scripts/install-deps.sh --all    also the VORN.EXE cross-builds (i686, and the
#                                    x86_64 test build), 64-bit Wine and the
#                                    emulated x86 machine
#   scripts/install-deps.sh --bench  --all and what bench/run.sh measures with
#   scripts/install-deps.sh --wine32 --all and 32-bit Wine (i386 architecture), for
#                                    tests/wine/smoke.sh on machines that can
#                                    run 32-bit x86 code; optional, the rest
#                                    of the tests do not need it
set -euo pipefail

native=(cmake ninja-build g++ pkg-config libgtest-dev nlohmann-json3-dev libxml2-dev xxd python3
        clang-14 libclang-rt-14-dev)
cross=(g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32
       binutils-mingw-w64-x86-64 mingw-w64-tools wine wine64 xauth xvfb)
bench=(valgrind time xmlstarlet)
# The emulated x86 machine that runs the 32-bit suite (tests/x86vm/).
x86vm=(qemu-system-x86 qemu-utils debootstrap debian-archive-keyring e2fsprogs)

want=("${native[@]}")
case "${1:-}" in
  --all) want+=("${cross[@]}" "${x86vm[@]}") ;;
  --bench) want+=("${cross[@]}" "${x86vm[@]}" "${bench[@]}") ;;
  --wine32) want+=("${cross[@]}" "${x86vm[@]}" wine32) ;;
esac

missing=()
for pkg in "${want[@]}"; do
  # wine32 is an i386 package.
  name=$pkg
  [ "$pkg" = wine32 ] && name=wine32:i386
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them as root: apt-get install ${missing[*]}" >&2
  [[ " ${missing[*]} " == *" wine32 "* ]] &&
    echo "(wine32 needs: dpkg --add-architecture i386 && apt-get update)" >&2
  exit 1
fi

if [[ " ${missing[*]} " == *" wine32 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
