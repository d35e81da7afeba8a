#!/usr/bin/env bash
# Self-test of check_imports.sh: tiny PE images built here, one acceptable
# and several that must be refused, each for its own reason.
set -u

here=$(cd "$(dirname "$0")" && pwd)
check=$here/check_imports.sh
cc=${CC_MINGW:-i686-w64-mingw32-gcc-win32}
dlltool=${DLLTOOL_MINGW:-i686-w64-mingw32-dlltool}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0
ok() { echo "ok   - $1"; passed=$((passed + 1)); }
bad() { echo "FAIL - $1"; failed=$((failed + 1)); }

# A freestanding image: its own entry point, imports only what it names.
xp_link="-Wl,--major-os-version,5,--minor-os-version,1,--major-subsystem-version,5,--minor-subsystem-version,1"
build() {  # name source [extra link args...]
  local name=$1 source=$2; shift 2
  printf '%s\n' "$source" >"$name.c"
  "$cc" -O1 -nostdlib -nostartfiles -Wl,-e,_entry "$name.c" -o "$name.exe" \
      "$@" -lkernel32 >"$name.log" 2>&1 && return 0
  bad "$name could not be built: $(cat "$name.log")"
  return 1
}

cat >allow.txt <<'LIST'
# allowlist for the self-test images
kernel32.dll!Sleep
kernel32.dll!ExitProcess
LIST

# expect_pass name | expect_fail name "reason text the script must give";
# $mode is empty or --win64.
mode=
expect_pass() {
  local out
  if out=$(bash "$check" $mode "$1.exe" allow.txt 2>&1); then ok "$1 accepted $mode"
  else bad "$1 refused $mode: $out"; fi
}
expect_fail() {
  local out
  if out=$(bash "$check" $mode "$1.exe" allow.txt 2>&1); then
    bad "$1 accepted $mode, expected refusal ($2)"
  elif grep -q -- "$2" <<<"$out"; then ok "$1 refused $mode: $2"
  else bad "$1 refused $mode for another reason: $out"; fi
}

good='#include <windows.h>
void entry(void) { Sleep(0); ExitProcess(0); }'

build good "$good" $xp_link && expect_pass good

build newos "$good" -Wl,--major-os-version,6,--minor-os-version,0,--major-subsystem-version,5,--minor-subsystem-version,1 &&
  expect_fail newos "OS version 6.0 is above 5.1"

build newsub "$good" -Wl,--major-os-version,5,--minor-os-version,1,--major-subsystem-version,6,--minor-subsystem-version,0 &&
  expect_fail newsub "subsystem version 6.0 is above 5.1"

build tick64 '#include <windows.h>
unsigned long long __stdcall GetTickCount64(void);
void entry(void) { Sleep((DWORD)GetTickCount64()); ExitProcess(0); }' $xp_link &&
  expect_fail tick64 "the posix-thread runtime crept in (GetTickCount64"

build unlisted '#include <windows.h>
void entry(void) { Beep(440, 1); ExitProcess(0); }' $xp_link &&
  expect_fail unlisted "kernel32.dll!Beep is not in allow.txt"

# Foreign DLLs through import libraries made here.
printf 'LIBRARY libwinpthread-1.dll\nEXPORTS\npthread_self\n' >pthread.def
printf 'LIBRARY contoso.dll\nEXPORTS\nFrobnicate\n' >foreign.def
"$dlltool" -d pthread.def -l libpthreadstub.a &&
  "$dlltool" -d foreign.def -l libforeign.a || bad "dlltool failed"

build pthread '#include <windows.h>
void *pthread_self(void);
void entry(void) { pthread_self(); ExitProcess(0); }' $xp_link -L. -lpthreadstub &&
  expect_fail pthread "posix-thread runtime imported: libwinpthread-1.dll"

build foreign '#include <windows.h>
void Frobnicate(void);
void entry(void) { Frobnicate(); ExitProcess(0); }' $xp_link -L. -lforeign &&
  expect_fail foreign "imports contoso.dll, which is not an XP system DLL"

# Delay-loaded imports (dlltool -y), which objdump does not show: held to the
# same rules once the delay-import directory is written as the build writes
# it (scripts/pe_delay_imports.py). The helper is a dummy: the images only
# need to link, they never run.
pe_delay=$here/../../scripts/pe_delay_imports.py
printf 'LIBRARY user32.dll\nEXPORTS\nMessageBoxA@16\nMessageBeep@4\n' >user32.def
printf 'LIBRARY contoso.dll\nEXPORTS\nFrobnicate@0\n' >contoso.def
"$dlltool" --kill-at -d user32.def -y libuser32delay.a &&
  "$dlltool" --kill-at -d contoso.def -y libcontosodelay.a || bad "dlltool -y failed"
delay_build() {  # name call [delay library]
  build "$1" '#include <windows.h>
void __stdcall Frobnicate(void);
void *__stdcall __delayLoadHelper2(void *descriptor, void *entry) { return 0; }
__attribute__((section(".text$3"), used, aligned(4))) const char vorn_delay_import_end[32] = {0};
void entry(void) { '"$2"'; ExitProcess(0); }' $xp_link -L. -l"$3" -Wl,--undefined=_vorn_delay_import_end &&
    python3 "$pe_delay" directory "$1.exe" "${NM_MINGW:-i686-w64-mingw32-nm}" >/dev/null
}
echo 'user32.dll!MessageBoxA' >>allow.txt
if delay_build delayok 'MessageBoxA(0, "", "", 0)' user32delay; then
  expect_pass delayok
  grep -q "1 of them delay-loaded" <(bash "$check" delayok.exe allow.txt) &&
    ok "delayok: its delay-loaded import counted" || bad "delayok: delay-loaded import not counted"
fi
delay_build delayunlisted 'MessageBeep(0)' user32delay &&
  expect_fail delayunlisted "user32.dll!MessageBeep is not in allow.txt"
delay_build delayforeign 'Frobnicate()' contosodelay &&
  expect_fail delayforeign "imports contoso.dll, which is not an XP system DLL"

# An allowlist naming a function that XP does not have is itself refused.
cp allow.txt allow.good && echo 'kernel32.dll!GetTickCount64' >>allow.txt
expect_fail good "allowlist entry 'kernel32.dll!GetTickCount64' does not exist on XP"
cp allow.good allow.txt

# The 64-bit test build's mode: the same rules for an x86-64 image, plus the
# x64 runtime's own imports; each mode refuses the other's images.
cc=${CC_MINGW64:-x86_64-w64-mingw32-gcc-win32}
build64() {  # name source [extra link args...]
  local name=$1 source=$2; shift 2
  printf '%s\n' "$source" >"$name.c"
  "$cc" -O1 -nostdlib -nostartfiles -Wl,-e,entry "$name.c" -o "$name.exe" \
      "$@" -lkernel32 >"$name.log" 2>&1 && return 0
  bad "$name could not be built: $(cat "$name.log")"
  return 1
}
if build64 good64 "$good" $xp_link; then
  expect_fail good64 "could not read good64.exe"  # the i686 objdump knows no x86-64
  mode=--win64 expect_pass good64
fi
mode=--win64 expect_fail good "is not a pei-x86-64 image"
build64 unwind64 '#include <windows.h>
void entry(void) { CONTEXT c; RtlCaptureContext(&c); ExitProcess(0); }' $xp_link &&
  mode=--win64 expect_pass unwind64
build64 unlisted64 '#include <windows.h>
void entry(void) { Beep(440, 1); ExitProcess(0); }' $xp_link &&
  mode=--win64 expect_fail unlisted64 "kernel32.dll!Beep is not in allow.txt"
build64 newos64 "$good" -Wl,--major-os-version,6,--minor-os-version,0,--major-subsystem-version,5,--minor-subsystem-version,1 &&
  mode=--win64 expect_fail newos64 "OS version 6.0 is above 5.1"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
