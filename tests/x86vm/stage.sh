# Sourced by suite.sh and devices.sh: what the guest runs Wine runs with.
# stage_tree SHARE EXE: SHARE/tree holds what tests/wine/vorn-wine and
# both.sh need at their usual places, the i686 EXE where they take the win32
# build, and the i686 stand-ins built here (the guest has no cross
# compiler); SHARE/job is the guest's job. Says what is missing and fails.
stage_tree() {
  local share=$1 exe=$2 t=$1/tree f
  local root here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  root=$(cd "$here/../.." && pwd)
  for f in "$exe" "$root/build/native/vorn-sim" "$root/build/native/vorn-wine-device"; do
    [ -e "$f" ] || { echo "x86vm: $f is missing (build the native and win32 presets)"; return 1; }
  done
  mkdir -p "$t/tests" "$t/build/native" "$t/build/win32" "$t/build/wine-standins/win32"
  cp -r "$root/tests/wine" "$root/tests/scenarios" "$t/tests/" &&
    cp -r "$root/examples" "$t/" &&
    cp "$root/build/native/vorn-sim" "$root/build/native/vorn-wine-device" "$t/build/native/" &&
    cp "$exe" "$t/build/win32/VORN.EXE" || return 1
  bash "$root/tests/wine/standins/build.sh" win32 "$t/build/wine-standins/win32" &&
    "${CC_MINGW32:-i686-w64-mingw32-gcc-win32}" -O1 -o "$t/build/wine-standins/win32/vorn-launch.exe" \
      "$root/tests/wine/launch.c" || return 1
  # Built after their sources were copied: the runner in the guest takes
  # them as they are.
  : >"$t/build/wine-standins/win32/.built"
  cp "$here/guest/job.sh" "$share/job"
}
