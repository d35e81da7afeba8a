#!/usr/bin/env bash
# Every scenario on both backends: each tests/scenarios/*/both script runs
# its device through vorn-sim and through vorn-wine (VORN.EXE under Wine),
# and vorn-wine-device compares the results (registry, events in order,
# message boxes, standard output, library calls, processes started, restart
# requests, computer name, exit codes, service states, host name, files with
# the boot configuration compared as XML). tests/wine/README.md describes the
# "both" file.
#
# usage: both.sh [SCENARIO...]     (default: every scenario with a "both" file)
# Environment: VORN_SIM, VORN_WINE_DEVICE, VORN_WINE_EXE, VORN_WINE_ARCH, and
# VORN_BOTH_JOBS (scenarios run at once, default 4: a Wine run mostly waits),
# VORN_BOTH_KEEP (a folder: each scenario's two device folders are kept there
# as NAME/sim and NAME/wine).
# Prints "N passed, N failed"; exit 0 when all passed, 1 on a failure, 77
# when Wine cannot run here.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export VORN_SIM=${VORN_SIM:-$root/build/native/vorn-sim}
export VORN_WINE_DEVICE=${VORN_WINE_DEVICE:-$root/build/native/vorn-wine-device}
jobs=${VORN_BOTH_JOBS:-4}

# Where Wine or private namespaces are not available, nothing can run.
wine_loader=${VORN_WINE:-/usr/lib/wine/wine64}
[ "${VORN_WINE_ARCH:-win64}" = win32 ] && wine_loader=${VORN_WINE:-wine}
command -v "$wine_loader" >/dev/null || { echo "SKIP: $wine_loader is not installed"; exit 77; }
if [ -z "${VORN_WINE_GUEST:-}" ] && ! unshare -U -n -u --map-root-user true 2>/dev/null; then
  echo "SKIP: private namespaces cannot be created here"
  exit 77
fi

if [ $# -eq 0 ]; then
  # Longest first (most runs), so that the last ones to start are short.
  mapfile -t all < <(for f in "$root"/tests/scenarios/*/both; do
    printf '%s %s\n' "$(grep -cE '^(run|scm)' "$f")" "$f"
  done | sort -rn | cut -d' ' -f2-)
  set -- "${all[@]}"
else
  names=("$@")
  set --
  for name in "${names[@]}"; do
    case $name in
      */*) set -- "$@" "${name%/}/both" ;;
      *) set -- "$@" "$root/tests/scenarios/$name/both" ;;
    esac
  done
fi

# What the Wine runs of a failed scenario left: the runner's own messages,
# Wine's log (events and errors, timed) and the stand-ins' calls.
evidence() {
  local work=$1 runs=$2 n e
  for n in $(seq 1 "$runs"); do
    e=$work/evidence-$n
    echo "--- Wine run $n"
    grep -v '^$' "$work/wine-$n.out" 2>/dev/null | head -20
    # The relay trace's own bookkeeping left out.
    grep -vE ':(Call|Ret ) (PE DLL|TLS callback|window proc|LDR notification|driver )|:Starting thread|relay:load_list' \
      "$e/wine.log" 2>/dev/null | head -80
    sed 's/^/calls: /' "$e/calls.jsonl" 2>/dev/null | head -40
  done
}

# One scenario; its verdict and, on a failure, why, in $out/<name>.
scenario() {
  local script=$1 out=$2 dir name work line kind arg n=0 rc
  dir=$(cd "$(dirname "$script")" && pwd)
  name=$(basename "$dir")
  work=$(mktemp -d)
  local log=$out/$name.log device=$dir/device
  {
    local runs=() expects=()
    while IFS= read -r line || [ -n "$line" ]; do
      line=${line%%#*}
      read -r kind arg <<<"$line"
      case $kind in
        "") ;;
        device) device=$dir/$arg ;;
        run|scm) runs+=("$kind $arg") ;;
        expect) expects+=("$arg") ;;
        *) echo "unknown line: $line"; echo FAIL >"$out/$name"; return ;;
      esac
    done <"$script"
    cp -r "$device" "$work/sim" && cp -r "$device" "$work/wine"
    local verdict=PASS
    for line in "${runs[@]}"; do
      n=$((n + 1))
      read -r kind arg <<<"$line"
      local scm=()
      [ "$kind" = scm ] && scm=(--scm)
      # shellcheck disable=SC2086
      "$VORN_SIM" "${scm[@]}" "$work/sim" $arg >"$work/sim-$n.stdout" 2>"$work/sim.out"
      echo "run $n: vorn-sim exit $?"
      local began=$SECONDS
      # shellcheck disable=SC2086
      VORN_WINE_EVIDENCE=$work/evidence-$n \
        "$root/tests/wine/vorn-wine" "${scm[@]}" "$work/wine" $arg >"$work/wine-$n.stdout" 2>"$work/wine-$n.out"
      rc=$?
      # The same contract: the program's output on the runner's own.
      if ! cmp -s "$work/sim-$n.stdout" "$work/wine-$n.stdout"; then
        echo "run $n: standard output differs"
        diff "$work/sim-$n.stdout" "$work/wine-$n.stdout" | head -20
        verdict=FAIL
      fi
      echo "run $n: vorn-wine exit $rc ($((SECONDS - began)) s)"
      if [ $rc -eq 77 ]; then cat "$work/wine-$n.out"; verdict=FAIL; fi
    done
    "$VORN_WINE_DEVICE" compare "$work/sim" "$work/wine" || verdict=FAIL
    for arg in "${expects[@]}"; do
      for side in sim wine; do
        grep -qF -- "$arg" "$work/$side/journal.jsonl" ||
          { echo "$side journal lacks: $arg"; verdict=FAIL; }
      done
    done
    [ "$verdict" = PASS ] || evidence "$work" "$n"
    echo "$verdict" >"$out/$name"
  } >"$log" 2>&1
  if [ -n "${VORN_BOTH_KEEP:-}" ]; then
    mkdir -p "$VORN_BOTH_KEEP/$name" && cp -r "$work/sim" "$work/wine" "$VORN_BOTH_KEEP/$name/"
  fi
  rm -rf "$work"
}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
start=$SECONDS
running=0
for script in "$@"; do
  [ -r "$script" ] || { echo "no scenario file $script"; continue; }
  scenario "$script" "$out" &
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait

passed=0
failed=0
for script in "$@"; do
  name=$(basename "$(dirname "$script")")
  if [ "$(cat "$out/$name" 2>/dev/null)" = PASS ]; then
    echo "ok   - $name"
    passed=$((passed + 1))
  else
    echo "FAIL - $name"
    sed 's/^/       /' "$out/$name.log" 2>/dev/null
    failed=$((failed + 1))
  fi
done
echo "both backends: $((SECONDS - start)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
