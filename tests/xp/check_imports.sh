#!/usr/bin/env bash
# Fails unless a PE executable can load on Windows XP SP3:
#  - OS and subsystem versions in the PE header at most 5.1;
#  - imported DLLs only XP system DLLs, EWFAPI.dll and FBWFLIB.dll;
#  - every imported function listed in the allowlist (dll!function, one a
#    line, dll lower-case), each entry checked to exist on XP SP3;
#  - no trace of the posix-thread runtime (winpthread, GetTickCount64).
# The rules hold for the import table and for the delay-import table alike
# (scripts/pe_delay_imports.py reads the latter; objdump does not show it).
# XP's loader binds only the import table; a delay-loaded DLL is mapped by
# the helper in the executable with LoadLibrary and GetProcAddress at the
# first call, so a function missing from it fails then, not at load: the
# check is the same for both.
#
# --win64 checks the 64-bit test build (never shipped; it runs under 64-bit
# Wine): the same rules for an x86-64 image, whose runtime also imports the
# x64 unwinding and C runtime entries of x64-runtime-allowlist.txt.
#
# usage: check_imports.sh [--win64] EXE [ALLOWLIST]
set -u

here=$(cd "$(dirname "$0")" && pwd)
format=pei-i386
extra_allowlist=
if [ "${1:-}" = --win64 ]; then
  shift
  format=pei-x86-64
  extra_allowlist=$here/x64-runtime-allowlist.txt
fi
exe=${1:?usage: check_imports.sh [--win64] EXE [ALLOWLIST]}
allowlist=${2:-$here/xp-sp3-allowlist.txt}
if [ "$format" = pei-x86-64 ]; then
  objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
else
  objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fi

# DLLs that ship with XP SP3, plus the two write-filter libraries of XP
# Embedded.
xp_dll_list=(advapi32.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll
  iphlpapi.dll kernel32.dll msvcrt.dll netapi32.dll ntdll.dll ole32.dll
  oleaut32.dll psapi.dll rpcrt4.dll secur32.dll setupapi.dll shell32.dll
  shlwapi.dll user32.dll userenv.dll version.dll winmm.dll wininet.dll
  winspool.drv ws2_32.dll ewfapi.dll fbwflib.dll)
xp_dlls=" ${xp_dll_list[*]} "

# Functions that came after XP; none may be imported nor allowed.
post_xp='^(GetTickCount64|InitializeSRWLock|AcquireSRWLock.*|ReleaseSRWLock.*|TryAcquireSRWLock.*|InitializeConditionVariable|SleepConditionVariable.*|WakeConditionVariable|WakeAllConditionVariable|InitOnce.*|Fls(Alloc|Free|GetValue|SetValue)|CreateSymbolicLink.*|GetFinalPathNameByHandle.*|InitializeCriticalSectionEx|GetLocaleInfoEx|CompareStringEx|LCMapStringEx|GetUserDefaultLocaleName|CreateEventEx.*|CreateMutexEx.*|CreateSemaphoreEx.*|SetFileInformationByHandle|GetFileInformationByHandleEx|QueryFullProcessImageName.*|InitiateShutdown[AW]|RegDeleteTree[AW]|RegGetValue[AW]|RegDeleteKeyEx[AW]|GetSystemTimePreciseAsFileTime|GetCurrentProcessorNumber|InterlockedCompareExchange64)$'

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for list in "$allowlist" $extra_allowlist; do
  if [ ! -r "$list" ]; then
    echo "FAIL: allowlist $list not readable"; exit 1
  fi
done
dump=$("$objdump" -p "$exe" 2>&1) || { echo "FAIL: $objdump could not read $exe"; exit 1; }
if ! grep -q "file format $format\$" <<<"$dump"; then
  echo "FAIL: $exe is not a $format image"; exit 1
fi

# PE header versions.
header_value() { sed -n "s/^$1[[:space:]]\{1,\}\([^[:space:]]*\).*/\1/p" <<<"$dump" | head -1; }
check_version() {
  local what=$1 major minor
  major=$(header_value "Major${2}Version"); minor=$(header_value "Minor${2}Version")
  if [ -z "$major" ] || [ -z "$minor" ]; then fail "$what version missing"; return; fi
  if (( major * 100 + minor > 501 )); then
    fail "$what version $major.$minor is above 5.1 (XP)"
  fi
}
check_version "OS" "OSystem"
check_version "subsystem" "Subsystem"

# The allowlist itself: well-formed, only XP DLLs, nothing newer than XP.
declare -A allowed=()
while IFS= read -r line || [ -n "$line" ]; do
  line=${line%%#*}; line=$(tr -d ' \t\r' <<<"$line")
  [ -z "$line" ] && continue
  if [[ ! $line =~ ^[a-z0-9_.]+![A-Za-z0-9_@#?]+$ ]]; then
    fail "allowlist entry '$line' is not dll!function with a lower-case dll"; continue
  fi
  dll=${line%%!*}; fn=${line#*!}
  [[ $xp_dlls == *" $dll "* ]] || fail "allowlist entry '$line': $dll is not an XP DLL"
  [[ $fn =~ $post_xp ]] && fail "allowlist entry '$line' does not exist on XP"
  allowed[$line]=1
done < <(cat "$allowlist" $extra_allowlist)

# The import table and the delay-import table, "dll!function" a line
# (ordinal imports as dll!#ordinal).
tables=$here/../../scripts/pe_delay_imports.py
imports=$(python3 "$tables" bound "$exe") ||
  { echo "FAIL: the import table of $exe could not be read"; exit 1; }
imports=$(sort -u <<<"$imports")
dlls=$(sed 's/!.*//' <<<"$imports" | sort -u)
delayed=$(python3 "$tables" list "$exe") ||
  { echo "FAIL: the delay-import table of $exe could not be read"; exit 1; }
imports=$(printf '%s\n%s\n' "$imports" "$delayed" | sed '/^$/d' | sort -u)
dlls=$(printf '%s\n%s\n' "$dlls" "$(sed 's/!.*//' <<<"$delayed")" | sed '/^$/d' | sort -u)

if [ -z "$dlls" ]; then fail "no import table found"; fi
for dll in $dlls; do
  case $dll in
    libwinpthread*|*pthread*) fail "posix-thread runtime imported: $dll"; continue ;;
    libgcc*|libstdc++*) fail "C++ runtime DLL imported (must be static): $dll"; continue ;;
  esac
  [[ $xp_dlls == *" $dll "* ]] || fail "imports $dll, which is not an XP system DLL"
done
for entry in $imports; do
  fn=${entry#*!}
  if [ "$fn" = GetTickCount64 ]; then
    fail "$entry: the posix-thread runtime crept in (GetTickCount64 is not on XP)"
  elif [[ $fn =~ $post_xp ]]; then
    fail "$entry does not exist on XP"
  elif [ -z "${allowed[$entry]:-}" ]; then
    fail "$entry is not in $(basename "$allowlist")"
  fi
done

count=$(wc -w <<<"$imports")
if (( failures > 0 )); then
  echo "$exe: $failures problem(s), $count imports checked"
  exit 1
fi
echo "$exe: OK for XP SP3 ($format, $count imports from $(wc -w <<<"$dlls") DLLs," \
  "$(wc -w <<<"$delayed") of them delay-loaded)"
