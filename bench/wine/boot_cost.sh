#!/usr/bin/env bash
# The boot cost of VORN.EXE under 64-bit Wine beside a bare service built
# with the same toolchain, in the Wine runner's private namespaces
# (tests/wine/vorn-wine: user, network and UTS namespaces, every capability
# dropped; nothing outside its prefix changes).
#
# usage: bench/wine/boot_cost.sh [STARTS] [FIRST_BOOTS]
#   STARTS       steady boots of VORN and starts of the bare service (10)
#   FIRST_BOOTS  first boots of the example device, each in a fresh prefix (10)
# Results in build/bench-wine/: first.txt, steady.txt (scm_timer lines),
# steady-writes.diff, summary.md (the figures, Markdown), runs.txt (each
# run's exit). Exit 0 when every run ended 0; 77 when the runner refused
# (no private namespaces here); otherwise 1, the summary still written.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1
starts=${1:-10}
firsts=${2:-10}
out=$root/build/bench-wine
bin=$out/bin

[ -f build/win64/VORN.EXE ] || { cmake --preset win64 >/dev/null && cmake --build --preset win64 -j 2 >/dev/null; } ||
  { echo "boot_cost: the win64 build failed" >&2; exit 1; }
[ -x build/native/vorn-wine-device ] || { cmake --preset native >/dev/null &&
  cmake --build --preset native -j 2 --target vorn-wine-device >/dev/null; } ||
  { echo "boot_cost: vorn-wine-device could not be built" >&2; exit 1; }

rm -rf "$out" && mkdir -p "$bin" || exit 1
# The bare service: the compiler, optimisation and runtime linkage of VORN.EXE.
cc=x86_64-w64-mingw32-gcc-win32
bare() { "$cc" -Os -static -static-libgcc -mwindows -o "$bin/$1.exe" bench/wine/bare_service.c "${@:2}"; }
bare bare_service && bare bare_user32 -DBARE_USER32 -luser32 &&
  bare bare_com -DBARE_COM -lole32 -luser32 &&
  "$cc" -O2 -static -o "$bin/scm_timer.exe" bench/wine/scm_timer.c -lpsapi ||
  { echo "boot_cost: the bench programs could not be built" >&2; exit 1; }

# +timestamp: Wine's trace lines carry the tick count, which places the first
# boot's events.
export VORN_WINE_HOOK=$root/bench/wine/in_prefix.sh VORN_BENCH_BIN=$bin VORN_BENCH_OUT=$out \
       VORN_BENCH_STARTS=$starts VORN_WINE_DEBUG=+timestamp
status=0
for ((run = 1; run <= firsts; run++)); do
  device=$(mktemp -d)
  cp -r examples/first-boot/. "$device/"
  VORN_BENCH_MODE=first
  [ "$run" = 1 ] && VORN_BENCH_MODE=full
  export VORN_BENCH_MODE
  tests/wine/vorn-wine "$device" >"$out/run$run.log" 2>&1
  rc=$?
  echo "run $run: exit $rc" >>"$out/runs.txt"
  case $rc/$status in
    0/*) ;;
    77/0 | 77/77) status=77 ;;
    *) status=1 ;;
  esac
  rm -rf "$device"
done
bash bench/wine/summary.sh "$out" "$starts" "$firsts" >"$out/summary.md"
cat "$out/summary.md"
[ $status = 0 ] || { echo "boot_cost: a run failed (build/bench-wine/runs.txt)" >&2; cat "$out/runs.txt" >&2; }
exit $status
