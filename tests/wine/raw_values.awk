# Carries typed values given as raw bytes ("name"=hex(N):...) from one
# registry text into another, byte for byte, whatever the target held.
# Both ways are needed: regedit's import rewrites such values (it pads a
# DWORD to 4 bytes and terminates a string), and its export prints a DWORD
# of another size as if it had 4 bytes; Wine's own registry file
# (system.reg, loaded and saved by wineserver) keeps them as they are.
#
# usage: awk [-v seeding=1] -f raw_values.awk SOURCE TARGET >NEW
#   SOURCE: the seed imported with regedit, as UTF-8 (seeding; its raw values) or the
#   prefix's system.reg after the run (reading back; the values Wine holds in
#   raw form: strings, DWORDs and multi-strings it could not store as such)
#   TARGET: system.reg (seeding; only while no wineserver runs for the
#   prefix, which rewrites it at exit) or an export of regedit, as UTF-8.
# Keys of HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT only; CurrentControlSet is
# the link to ControlSet001. A raw value whose key the target lacks is an
# error when seeding (exit 1); an export holds only some keys.
function key_of(text,    k) {
  k = text
  sub(/^\[/, "", k); sub(/\]( [0-9]+)?$/, "", k); gsub(/\\\\/, "\\", k)
  if (sub(/^HKEY_CLASSES_ROOT\\/, "Software\\Classes\\", k) == 0 &&
      sub(/^HKEY_LOCAL_MACHINE\\/, "", k) == 0 && k ~ /^HKEY_/) return ""
  k = tolower(k)
  sub(/^system\\currentcontrolset\\/, "system\\controlset001\\", k)
  return k
}
# Seeding: a raw value the target's key lacks goes at the key's end.
# Seeding: only what regedit's import would alter (a DWORD of another size
# than 4 bytes; a string without its terminator, of an odd byte count, empty,
# or with a NUL before its terminator, where the import cuts it); a whole
# value goes through the import as it is.
function imported_whole(line,    bytes, n, i) {
  bytes = line; sub(/^.*=hex\([0-9a-fA-F]+\):/, "", bytes)
  n = (bytes == "") ? 0 : split(bytes, b, ",")
  if (line ~ /=hex\(4\):/) return n == 4
  if (n < 2 || n % 2 != 0 || b[n - 1] != "00" || b[n] != "00") return 0
  if (line ~ /=hex\(1\):/)
    for (i = 1; i < n - 1; i += 2) if (b[i] == "00" && b[i + 1] == "00") return 0
  return 1
}
# Reading back: wineserver writes a string with a NUL inside as a quoted
# string with "\0" in it, which regedit's export cuts at that NUL. Such a
# value (plain ASCII apart from the escapes) as hex(1): UTF-16LE bytes with
# its terminator; "" for any other line.
function string_with_nul(text,    body, out, i, c, e) {
  if (text !~ /^(@|"([^"\\]|\\.)*")="([^"\\]|\\.)*"$/ || index(text, "\\0") == 0) return ""
  body = text; sub(/^(@|"([^"\\]|\\.)*")="/, "", body); sub(/"$/, "", body)
  if (body ~ /[^ -~]/) return ""
  sub(/=".*$/, "", text)
  out = ""
  for (i = 1; i <= length(body); i++) {
    c = substr(body, i, 1)
    if (c == "\\") {
      e = substr(body, ++i, 1)
      if (e == "0") c = "\000"
      else if (e == "n") c = "\n"
      else if (e == "r") c = "\r"
      else if (e == "t") c = "\t"
      else if (e == "\\" || e == "\"") c = e
      else return ""
    }
    out = out sprintf("%02x,00,", ord[c])
  }
  return text "=hex(1):" out "00,00"
}
BEGIN { for (i = 0; i < 128; i++) ord[sprintf("%c", i)] = i }
function flush_section(    id) {
  if (!seeding || section == "") return
  for (id in raw)
    if (index(id, section SUBSEP) == 1 && !(id in done)) {
      print raw[id]
      done[id] = 1
    }
}
FNR == 1 { file++ }
{ sub(/\r$/, "") }
# The source: the raw values by key and lower-case name.
file == 1 {
  if (pending != "") {
    line = line $0; gsub(/[ \t]/, "", line)
    if (sub(/\\$/, "", line)) next
    if (!(seeding && imported_whole(line))) raw[pending] = line
    pending = ""; next
  }
  if ($0 ~ /^\[/) { key = key_of($0); next }
  if (!seeding && key != "" && (line = string_with_nul($0)) != "") {
    name = $0; sub(/=".*$/, "", name)
    raw[key SUBSEP tolower(name)] = line
    next
  }
  if (key == "" || $0 !~ /^(@|".*")=hex\((1|2|4|7)\):/) next
  name = $0; sub(/=hex\(.*$/, "", name)
  line = $0; gsub(/[ \t]/, "", line)
  id = key SUBSEP tolower(name)
  if (sub(/\\$/, "", line)) { pending = id; next }
  if (!(seeding && imported_whole(line))) raw[id] = line
  next
}
# The target: sections "[Key]" (system.reg: "[Key\\Path] stamp"); a value
# may continue on the next lines after a "\".
skipping { skipping = ($0 ~ /\\$/); next }
/^\[/ { flush_section(); section = key_of($0); print; next }
/^$/ { flush_section(); section = ""; print; next }
section != "" && /^(@|"[^"]*(\\.[^"]*)*")=/ {
  name = $0; sub(/=.*$/, "", name)
  id = section SUBSEP tolower(name)
  if (id in raw) {
    print raw[id]; done[id] = 1
    skipping = ($0 ~ /\\$/)
    next
  }
}
{ print }
END {
  flush_section()
  if (!seeding) exit 0
  for (id in raw)
    if (!(id in done)) {
      split(id, p, SUBSEP); print "raw_values: no key " p[1] >"/dev/stderr"; bad = 1
    }
  exit bad
}
