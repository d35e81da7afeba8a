#!/usr/bin/env bash
# Builds vorn-sim and previews on the bundled example device what VORN will
# do, boot after boot until it has nothing more to do (vorn-sim plan
# --until-steady, which leaves the folder as it is). Then runs VORN's boot
# job twice on a copy of the device: the first boot, then the boot after the
# restart it asked for. Shows the journal and the display data before and
# after.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target vorn-sim >/dev/null

device=$(mktemp -d)
trap 'rm -rf "$device"' EXIT
cp -r examples/first-boot/. "$device"
sim=build/native/vorn-sim

display_data() {
  # The fifth child of the display init command (key "Init1\IO: Create Devices").
  grep -A12 'Init1\\IO: Create Devices' "$device/c/Quorvex/DefaultConfig.xml" |
    grep -o '[0-9a-fA-F]\{92,\}' | head -1
}

echo "== Preview: vorn-sim plan --until-steady examples/first-boot"
code=0; "$sim" plan --until-steady examples/first-boot || code=$?
echo "   exit code $code (0: nothing to change, 1: changes, 2: trouble)"
echo

echo "== Example device: $(grep -o '"hostName": *"[^"]*"' "$device/device.json")"
echo "   display data before: $(display_data)"
echo
echo "== First boot (vorn-sim $device)"
code=0; "$sim" "$device" || code=$?
echo "   exit code $code"
echo "   display data after:  $(display_data)"
echo
echo "== Second boot, after the restart (the new name is in effect)"
code=0; "$sim" "$device" || code=$?
echo "   exit code $code"
echo
echo "== The device's journal ($device/journal.jsonl):"
cat "$device/journal.jsonl"
