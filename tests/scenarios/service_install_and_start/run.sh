#!/bin/bash
# Installs VORN as a service under "C:\Program Files" on a device whose
# runtime depends on RPCSS, then starts it as the service control manager
# would and stops it while the job runs.
set -euo pipefail
sim="$1"
dev="$(mktemp -d)"
trap 'rm -rf "$dev"' EXIT
mkdir -p "$dev/c"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Quorvex System Service]\r\n"Type"=dword:00000010\r\n"DependOnService"=hex(7):52,00,50,00,43,00,53,00,53,00,00,00,00,00\r\n\r\n' \
  > "$dev/registry.reg"
cat > "$dev/device.json" <<'JSON'
{"imagePath": "C:\\Program Files\\Talvenor\\VORN.EXE",
 "serviceControls": [{"at": "duringJob", "code": 1}]}
JSON

fail() { echo "FAIL: $*" >&2; exit 1; }

"$sim" --scm "$dev" 2>/dev/null && fail "--scm started a service that is not installed"
"$sim" "$dev" -Service 2>/dev/null || fail "-Service exit code $?"
"$sim" --scm "$dev" 2>/dev/null || fail "--scm exit code $?"

journal="$dev/journal.jsonl"
grep -q '"kind":"run","commandLine":"\\"C:\\\\Program Files\\\\Talvenor\\\\VORN.EXE\\"","startedBy":"scm"' "$journal" \
  || fail "the service was not started from its quoted image path"
states="$(grep -o '"kind":"serviceStatus","state":"[A-Z_]*"' "$journal" | sed 's/.*"state":"//; s/"//' | tr '\n' ' ')"
[ "$states" = "SERVICE_START_PENDING SERVICE_RUNNING SERVICE_STOP_PENDING SERVICE_STOPPED " ] \
  || fail "status sequence: $states"
tail -n 1 "$journal" | grep -q '"kind":"exit","code":0' || fail "last exit code"
echo "ok"
