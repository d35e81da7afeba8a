#!/usr/bin/env bash
# The platform is outside the "KQ" family: no display task runs.
# A first boot renames the device, registers UPnP, asks for one restart and
# stores the route net id; the boot after that restart changes nothing.
# usage: run.sh VORN_SIM
set -eu
sim=${1:?usage: run.sh VORN_SIM}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r device "$work/device"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$sim" "$work/device" 2>/dev/null
first=$(grep -E '"kind":"(event|restartRequest|computerNameSet)"' "$work/device/journal.jsonl")
expected=(
  '"kind":"computerNameSet","name":"KQ5_12AB3C","ok":true'
  '"text":"The computer name was changed from QZ_IPC to KQ5_12AB3C\n"'
  '"text":"UPnP successfully registered"'
  '"message":"The Computername was changed. Machine has to be restarted."'
  '"text":"Setting OlmNetId = 05 12 AB 3C 01 01"'
  '"text":"VORN completed successfully"'
)
[ "$(printf '%s\n' "$first" | wc -l)" -eq ${#expected[@]} ] || fail "first boot journalled: $first"
i=1
for pattern in "${expected[@]}"; do
  printf '%s\n' "$first" | sed -n "${i}p" | grep -qF "$pattern" || fail "record $i is not $pattern"
  i=$((i + 1))
done
grep -q '"hostName": "QZ_IPC"' "$work/device/device.json" || fail "name in effect before the restart"
grep -q '"pendingHostName": "KQ5_12AB3C"' "$work/device/device.json" || fail "pending name"

lines=$(wc -l < "$work/device/journal.jsonl")
"$sim" "$work/device" 2>/dev/null
second=$(tail -n +"$((lines + 1))" "$work/device/journal.jsonl")
grep -q '"hostName": "KQ5_12AB3C"' "$work/device/device.json" || fail "new name not in effect"
if printf '%s\n' "$second" | grep -qE '"kind":"(registryWrite|computerNameSet|restartRequest|libraryCall|processStart)"'; then
  fail "second boot changed something: $second"
fi
echo "identity-first-boot: OK"
