#!/usr/bin/env bash
# Measures VORN in one run and writes docs/performance.md:
#   1. the boot cost under 64-bit Wine beside a bare service (times to
#      RUNNING and STOPPED, first-boot tasks, peak memory, steady-boot
#      writes): bench/wine/boot_cost.sh, WINE_STARTS/WINE_FIRSTS (10/10)
#   2. writes on a steady boot of the simulated device
#   3. instructions per steady boot (callgrind) and the top five functions
#   4. the display-text update of a 1, 10 and 50 MB DefaultConfig.xml beside
#      xmlstarlet making the same replacement: wall time, CPU time and peak
#      memory, medians of RUNS runs each
#   5. the footprint of VORN.EXE: size, imported DLLs and functions
# Run after ./test.sh; as root it installs what it needs
# (scripts/install-deps.sh --bench).
# usage: bench/run.sh        (RUNS=5 SIZES="1 10 50" by default)
#        bench/run.sh --quick
# --quick is the form ./test.sh runs (tests/stages, label bench): sections 1
# (2 starts of each service, 1 first boot), 2 and 5 on the trees the presets
# built (build/native, build/win64, build/win32), the document written to
# build/bench-quick/performance.md, then scripts/bench_check.py: exit 1 when
# the benchmark could not run or a figure came out empty, 77 when Wine or
# private namespaces are missing here. It never judges a time: the figures
# depend on the machine and its load.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
quick=0
[ "${1:-}" = --quick ] && quick=1
runs=${RUNS:-5}
sizes=${SIZES:-1 10 50}
out=docs/performance.md
load_start=$(cut -d' ' -f1 /proc/loadavg)

if [ $quick = 1 ]; then
  WINE_STARTS=2 WINE_FIRSTS=1
  out=build/bench-quick/performance.md
  mkdir -p build/bench-quick
  sim=$root/build/native/vorn-sim
  for f in "$sim" build/win32/VORN.EXE; do
    [ -e "$f" ] || { echo "bench: $f is missing (build the presets first)" >&2; exit 1; }
  done
else
  scripts/install-deps.sh --bench
  echo "== build: vorn-sim (Release, build/bench) and VORN.EXE (build/win32)"
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
    -DVORN_TESTS=OFF >/dev/null
  cmake --build build/bench -j 2 --target vorn-sim >/dev/null
  sim=$root/build/bench/vorn-sim
  if [ ! -f build/win32/VORN.EXE ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j 2 >/dev/null
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
report=$work/report.md
: >"$report"
say() { printf '%s\n' "$@" >>"$report"; }     # one line per argument
row() { printf '%s\n' "$*" >>"$report"; }        # one line of all arguments
thousands() { sed -E ':a;s/^([0-9]+)([0-9]{3})/\1,\2/;ta' <<<"$1"; }

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf (b > 0) ? "%.2f" : "-", a / b}'; }

# --- 1. Wine ---------------------------------------------------------------
# The 64-bit test build under 64-bit Wine, in the Wine runner's namespaces
# (bench/wine/boot_cost.sh): 32-bit programs cannot run on every machine, and
# the 64-bit build runs the same sources.
echo "== 1. Wine (bench/wine/boot_cost.sh ${WINE_STARTS:-10} ${WINE_FIRSTS:-10})"
say "## 1. Boot cost under Wine beside a bare service" ""
wine_status=0
if ! wine_version=$(/usr/lib/wine/wine64 --version 2>/dev/null); then
  wine_status=77
  echo "bench: 64-bit Wine (/usr/lib/wine/wine64) is not installed" >&2
else
  bench/wine/boot_cost.sh "${WINE_STARTS:-10}" "${WINE_FIRSTS:-10}" >/dev/null 2>&1 || wine_status=$?
fi
if [ $quick = 1 ] && [ $wine_status != 0 ]; then
  # The skip is for a machine without Wine or namespaces; any other failure
  # is the benchmark's own.
  [ $wine_status = 77 ] && { echo "SKIP: Wine or private namespaces are not available here"; exit 77; }
  echo "bench: bench/wine/boot_cost.sh failed (exit $wine_status):" >&2
  cat build/bench-wine/runs.txt >&2 2>/dev/null
  tail -n 20 build/bench-wine/run1.log >&2 2>/dev/null
  exit 1
fi
if [ $wine_status = 0 ]; then
  say "Command: \`bench/wine/boot_cost.sh ${WINE_STARTS:-10} ${WINE_FIRSTS:-10}\` (part of" \
    "\`bench/run.sh\`). The win64 build of VORN.EXE (\`build/win64/VORN.EXE\`, the same sources" \
    "and release form as the product) under $wine_version, 64-bit prefix, on the example device" \
    "(\`examples/first-boot\`, installed with \`-Service\`), the stand-ins of the device's" \
    "libraries and programs, in the runner's private user, network and UTS namespaces with every" \
    "capability dropped (\`tests/wine/vorn-wine\`). The bare service" \
    "(\`bench/wine/bare_service.c\`) is built with the same compiler and runtime linkage; the" \
    "times come from \`bench/wine/scm_timer.c\` in the same session." ""
  cat build/bench-wine/summary.md >>"$report"
else
  say "Not measured: 64-bit Wine (\`/usr/lib/wine/wine64\`) or private namespaces are not" \
    "available here, or the bench failed (see \`build/bench-wine/\`)."
fi
say ""

# --- 2. Writes on a steady boot --------------------------------------------
echo "== 2. writes on a steady boot"
device=$work/device
cp -r examples/first-boot "$device"
"$sim" "$device" 2>/dev/null || true   # first boot: renames, asks a restart
"$sim" "$device" 2>/dev/null || true   # the boot after the restart
cp -p "$device/registry.reg" "$work/registry.before"
cp -p "$device/device.json" "$work/device.before"
inodes_before=$(stat -c '%i %Y' "$device/registry.reg" "$device/device.json" | tr '\n' ' ')
lines=$(wc -l <"$device/journal.jsonl")
steady_exit=0
"$sim" "$device" 2>/dev/null || steady_exit=$?
tail -n +"$((lines + 1))" "$device/journal.jsonl" >"$work/steady.jsonl"
count() { grep -cE "$1" "$work/steady.jsonl" || true; }
changed() { cmp -s "$1" "$2" && echo no || echo yes; }
say "## 2. Writes on a steady boot (simulated device)" ""
say "examples/first-boot run three times by \`vorn-sim\`: first boot, the boot after its restart," \
  "then the steady boot counted here (exit code $steady_exit)." ""
say "| write | count | expected |" "|---|---|---|"
for op in setValue deleteValue createKey deleteKey; do
  say "| registryWrite $op | $(count "\"kind\":\"registryWrite\",\"op\":\"$op\"") | 0 |"
done
say "| fileWrite (write, replace, delete) | $(count '"kind":"fileWrite"') | 0 |"
row "| other device changes (computerNameSet, clockSet, restartRequest, serviceConfig) |" \
  "$(count '"kind":"(computerNameSet|clockSet|restartRequest|serviceConfig)"') | 0 |"
say "| registry.reg bytes changed | $(changed "$work/registry.before" "$device/registry.reg") | no |"
say "| device.json bytes changed | $(changed "$work/device.before" "$device/device.json") | no |"
inodes_after=$(stat -c '%i %Y' "$device/registry.reg" "$device/device.json" | tr '\n' ' ')
row "| registry.reg / device.json rewritten (inode or time changed) |" \
  "$([ "$inodes_before" = "$inodes_after" ] && echo no || echo yes) | no |"
say ""

if [ $quick = 0 ]; then
# --- 3. Instructions per steady boot ---------------------------------------
echo "== 3. callgrind"
steady=$work/steady
cp -r "$device" "$steady"
valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$sim" "$steady" \
  >/dev/null 2>"$work/callgrind.log" || true
total=$(grep -oE 'Collected : [0-9]+' "$work/callgrind.log" | grep -oE '[0-9]+$')
say "## 3. Instructions per steady boot (simulated device)" ""
say "\`valgrind --tool=callgrind\` of \`vorn-sim\` (Release build) on the steady device of" \
  "section 2, whole process: **$(thousands "$total") instructions**." ""
main_ir=$(callgrind_annotate --inclusive=yes --auto=no "$work/callgrind.out" 2>/dev/null |
  awk '/:main \[/ && !found {gsub(",", "", $1); print $1; found = 1}')
say "Of these, $(thousands "${main_ir:-0}") are spent inside \`main\`; the rest is process" \
  "start-up and exit (the dynamic loader binding libstdc++ and libxml2, static constructors)." ""
say "Top five functions by their own instructions (\`callgrind_annotate\`, the pieces of a" \
  "function that inlining puts under several source files added up):" ""
say "| instructions | share | function | object |" "|---|---|---|---|"
callgrind_annotate --auto=no "$work/callgrind.out" 2>/dev/null |
  awk -v total="$total" '
    /^-+$/ {dash++; next}
    dash >= 4 && !/PROGRAM TOTALS/ && $1 ~ /^[0-9,]+$/ {
      ir = $1; gsub(",", "", ir)
      text = $0; sub(/^[^)]*\) +/, "", text)
      obj = ""
      if (match(text, / \[[^]]*\]$/)) {
        obj = substr(text, RSTART + 2, RLENGTH - 3); text = substr(text, 1, RSTART - 1)
        sub(/.*\//, "", obj)
      }
      fn = substr(text, index(text, ":") + 1)
      sum[fn] += ir
      if (obj != "") where[fn] = obj
    }
    END {for (f in sum) printf "%d\t%s\t%s\n", sum[f], f, where[f]}' |
  sort -t$'\t' -k1,1nr | awk 'NR <= 5' |
  while IFS=$'\t' read -r ir fn obj; do
    [ ${#fn} -gt 110 ] && fn="${fn:0:107}..."
    say "| $(thousands "$ir") | $(ratio "$((ir * 100))" "$total")% | \`${fn//|/\\|}\` | $obj |"
  done
say ""

# --- 4. The XML update at scale --------------------------------------------
echo "== 4. XML at scale"
config=$steady/c/Quorvex/DefaultConfig.xml
say "## 4. The display-text update of a large DefaultConfig.xml" ""
say "A generated boot configuration (\`bench/gen_config.sh\`: init commands of four kinds," \
  "the display command last, CR LF) whose display data names another device, so the run" \
  "rewrites it and saves the file. \`vorn-sim\` runs the whole boot on the steady device of" \
  "section 2 (identity already current: only the display update works);" \
  "\`xmlstarlet ed -P -L -u\` replaces the same data element's text with the same new text in" \
  "place (\`-P\`: keeps the formatting, as VORN does). Each run gets a fresh copy of the file;" \
  "medians of $runs runs each, the two programs alternating. CPU is user + system time;" \
  "memory is the peak resident set (\`/usr/bin/time -v\`)." ""
say "| size | vorn-sim wall s | xmlstarlet wall s | ratio | vorn-sim CPU s | xmlstarlet CPU s | ratio | vorn-sim peak MB | xmlstarlet peak MB | ratio |" \
  "|---|---|---|---|---|---|---|---|---|---|"
xpath="/QvBootProject/InitCmds/InitCmd[key='Init1\\IO: Create Devices' and iOffs='33']/data"
data_of() { grep -oE '<data>[0-9A-Fa-f]{92,}</data>' "$1" | tail -1; }
measure() {  # label command...: appends "wall cpu peakKB" to $work/$label
  local label=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1 || {
    echo "FAILED: $label: $*" >&2
    return 1
  }
  awk '{printf "%s %.2f %d\n", $1, $2 + $3, $4}' "$work/time" >>"$work/$label"
}
declare -A perMb
for mb in $sizes; do
  bench/gen_config.sh "$mb" >"$work/config.xml"
  bytes=$(stat -c %s "$work/config.xml")
  # The text VORN writes, taken from one checked run; xmlstarlet writes it too.
  cp "$work/config.xml" "$config"
  : >"$steady/journal.jsonl"
  "$sim" "$steady" 2>/dev/null
  grep -q '"op":"replace"' "$steady/journal.jsonl" || { echo "vorn-sim did not save" >&2; exit 1; }
  new=$(data_of "$config" | sed -E 's/<\/?data>//g')
  [ "$(data_of "$work/config.xml")" != "<data>$new</data>" ] || { echo "data unchanged" >&2; exit 1; }
  rm -f "$work/vorn" "$work/xmlstarlet"
  for i in $(seq "$runs"); do
    echo "   $mb MB run $i"
    cp "$work/config.xml" "$config"
    : >"$steady/journal.jsonl"
    measure vorn "$sim" "$steady"
    [ "$(data_of "$config")" = "<data>$new</data>" ] || { echo "vorn-sim result differs" >&2; exit 1; }
    cp "$work/config.xml" "$work/xs.xml"
    measure xmlstarlet xmlstarlet ed -P -L -u "$xpath" -v "$new" "$work/xs.xml"
    [ "$(data_of "$work/xs.xml")" = "<data>$new</data>" ] || { echo "xmlstarlet result differs" >&2; exit 1; }
  done
  row="| $(awk -v b="$bytes" 'BEGIN {printf "%.1f MB", b / 1048576}')"
  for field in 1 2 3; do
    v=$(cut -d' ' -f$field "$work/vorn" | median)
    x=$(cut -d' ' -f$field "$work/xmlstarlet" | median)
    if [ $field = 3 ]; then
      v=$(awk -v k="$v" 'BEGIN {printf "%.0f", k / 1024}')
      x=$(awk -v k="$x" 'BEGIN {printf "%.0f", k / 1024}')
    fi
    row+=" | $v | $x | $(ratio "$v" "$x")"
    perMb[$mb,$field]=$v
    perMb[$mb,x$field]=$x
  done
  say "$row |"
done
say "" "Growth with the file (cost per MB of file; equal figures down a column are linear growth):" ""
say "| size | vorn-sim CPU s/MB | xmlstarlet CPU s/MB | vorn-sim peak MB per MB | xmlstarlet peak MB per MB |" \
  "|---|---|---|---|---|"
for mb in $sizes; do
  row "| $mb MB | $(awk -v v="${perMb[$mb,2]}" -v m="$mb" 'BEGIN {printf "%.3f", v / m}') |" \
    "$(awk -v v="${perMb[$mb,x2]}" -v m="$mb" 'BEGIN {printf "%.3f", v / m}') |" \
    "$(awk -v v="${perMb[$mb,3]}" -v m="$mb" 'BEGIN {printf "%.1f", v / m}') |" \
    "$(awk -v v="${perMb[$mb,x3]}" -v m="$mb" 'BEGIN {printf "%.1f", v / m}') |"
done
say "" "Where vorn-sim spends more than xmlstarlet (found with callgrind and massif; the parse" \
  "itself is the same libxml2 work): VORN looks for the display command as it does on the" \
  "device, one DOM call after another for every init command (selectNodes \"*\", get_length," \
  "get_item, get_baseName, get_text), each passing the simulated device's fault check and call" \
  "log, where xmlstarlet evaluates one XPath query; the document notes where every element's" \
  "content lies while parsing, keeps the file's bytes and assembles the saved file from them" \
  "(about one more file size in memory, plus 8 bytes per element), so that everything but the" \
  "changed text is saved byte for byte; and the save goes through a new file and a replace," \
  "so that a power cut leaves the old or the new file." ""

fi  # not --quick

# --- 5. Footprint ------------------------------------------------------------
echo "== 5. footprint"
exe=build/win32/VORN.EXE
say "## 5. Footprint of VORN.EXE" ""
say "\`build/win32/VORN.EXE\` (preset win32, MinSizeRel, release form: stripped, no base" \
  "relocations, cmake/release.cmake): **$(stat -c %s "$exe") bytes**; its debug information in" \
  "\`VORN.EXE.debug\` beside it: $(stat -c %s "$exe.debug" 2>/dev/null || echo 0) bytes." \
  "Imports (\`i686-w64-mingw32-objdump -p\`):" ""
say "| DLL | functions |" "|---|---|"
i686-w64-mingw32-objdump -p "$exe" |
  awk '/DLL Name:/ {dll = $3; next}
       dll && /Hint\/Ord/ {on = 1; next}
       on && NF == 0 {on = 0; next}
       on {n[dll]++; total++}
       END {for (d in n) printf "%s %d\n", d, n[d]; printf "total %d\n", total}' |
  sort | awk '$1 != "total" {printf "| %s | %d |\n", $1, $2; dlls++} $1 == "total" {t = $2}
               END {printf "| **%d DLLs** | **%d** |\n", dlls, t}' >>"$report"
say "" "Delay-loaded (\`scripts/pe_delay_imports.py list\`: the delay-import table, which objdump" \
  "does not show; each DLL mapped at the first call into it):" ""
say "| DLL | functions |" "|---|---|"
python3 scripts/pe_delay_imports.py list "$exe" | cut -d'!' -f1 | sort | uniq -c |
  awk '{printf "| %s | %d |\n", $2, $1; dlls++; t += $1}
       END {printf "| **%d DLLs** | **%d** |\n", dlls, t}' >>"$report"
say ""

# --- The document ------------------------------------------------------------
load_end=$(cut -d' ' -f1 /proc/loadavg)
{
  echo "# Performance"
  echo
  echo "Written by \`bench/run.sh\` on $(date -u +%Y-%m-%d) at commit" \
    "$(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . ':!docs/performance.md' || echo ' (with local changes)')."
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')," \
    "$(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo) memory," \
    "load average at the start $load_start, at the end $load_end (wall times suffer from other load;" \
    "CPU times and instruction counts much less)."
  echo
  cat "$report"
} >"$out"
echo "== wrote $out"
if [ $quick = 1 ]; then
  python3 scripts/bench_check.py "$out"
fi
