#!/bin/bash
# The bundled first-boot device: its display data before and after one run
# of vorn-sim, the save journaled step by step, and the file unchanged
# outside the display data.
# Usage: bash run.sh PATH-TO-VORN-SIM
set -euo pipefail
sim=${1:?usage: run.sh PATH-TO-VORN-SIM}
here=$(cd "$(dirname "$0")" && pwd)
example="$here/../../../examples/first-boot"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$example" "$work/device"
config="$work/device/c/Quorvex/DefaultConfig.xml"

data() {  # the display command's data: the line after its <data> tag
  grep -A1 -F '<data>' "$1" | tr -d '\r' | grep -oE '[0-9A-Fa-f]{92,}' | head -1
}
# The two lines (digits 24..91) as text.
lines() { echo "$1" | cut -c25-92 | xxd -r -p | tr '\0' '.'; echo; }

before=$(data "$config")
echo "before: $before"
echo "        $(lines "$before")"
"$sim" "$work/device" 2>"$work/echo" || true
after=$(data "$config")
echo "after:  $after"
echo "        $(lines "$after")"

expected_lines="$(printf 'KQ5020 XPE v2.1' | xxd -p)0000$(printf 'Name: QZ_IPC' | xxd -p)0000000000"
test "${after:24:68}" = "$expected_lines" || { echo "FAIL: display lines"; exit 1; }
test "${after:0:24}" = "${before:0:24}" || { echo "FAIL: digits before the lines"; exit 1; }
test "${after:92}" = "${before:92}" || { echo "FAIL: digits after the lines"; exit 1; }

grep -o '"kind":"fileWrite"[^}]*' "$work/device/journal.jsonl"
# The new file written beside the configuration, then moved over it.
test "$(grep -o '"kind":"fileWrite"[^}]*' "$work/device/journal.jsonl" | grep -o '"path":"[^"]*","op":"[a-z]*"')" = \
  "$(printf '%s\n' '"path":"C:\\Quorvex\\DefaultConfig.xml.new","op":"write"' \
                    '"path":"C:\\Quorvex\\DefaultConfig.xml","op":"replace"')" || {
  echo "FAIL: save steps"; exit 1; }

# Outside the data element nothing changed, byte for byte (CR LF kept).
diff <(sed '/<data>\r$/,/<\/data>\r$/d' "$example/c/Quorvex/DefaultConfig.xml") \
     <(grep -v "$after" "$config") >/dev/null || { echo "FAIL: layout changed"; exit 1; }
test "$(grep -c $'\r$' "$config")" = "$(($(wc -l <"$config")))" || { echo "FAIL: line ends"; exit 1; }
ls "$work/device/c/Quorvex"
test "$(ls "$work/device/c/Quorvex")" = DefaultConfig.xml || { echo "FAIL: leftovers"; exit 1; }

# The first boot renamed the device; after its restart the second boot
# shows the name now in effect, saved once more.
"$sim" "$work/device" 2>/dev/null || true
renamed=$(data "$config")
test "${renamed:58:34}" = "$(printf 'Name: KQ5_12AB3C' | xxd -p)00" || {
  echo "FAIL: second line after the restart: $(lines "$renamed")"; exit 1; }
test "$(grep -c '"kind":"fileWrite"' "$work/device/journal.jsonl")" = 4 || {
  echo "FAIL: save after the restart"; exit 1; }

# A steady boot finds the data current and writes nothing.
"$sim" "$work/device" 2>/dev/null || true
test "$(grep -c '"kind":"fileWrite"' "$work/device/journal.jsonl")" = 4 || {
  echo "FAIL: current data saved again"; exit 1; }
echo "ok"
