#!/usr/bin/env bash
# Builds everything (native, sanitizers, VORN.EXE) and runs every test:
# unit, behaviour and scenario tests natively and under the sanitizers (the
# failure sweep among them), each fuzzer for a short while, the XP check of
# VORN.EXE, and VORN.EXE under Wine. Ends with "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh --all || exit 1
jobs=${JOBS:-2}
passed=0
failed=0

# Adds a stage's counts from a ctest run's summary line.
count_ctest() {
  local log=$1 line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# A stage that is one check.
check() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $name"
    failed=$((failed + 1))
  fi
}

build_and_test() {
  local preset=$1 log
  log=$(mktemp)
  echo "== $preset build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"; }; then
    echo "FAILED: $preset build"
    failed=$((failed + 1))
    return
  fi
  echo "== $preset tests"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" | tail -15
  count_ctest "$log"
  rm -f "$log"
}

build_and_test native
build_and_test sanitize

check "fuzzers (libFuzzer, ${FUZZ_SECONDS:-20} s each)" fuzz/run.sh "${FUZZ_SECONDS:-20}"

echo "== win32 build (VORN.EXE)"
if cmake --preset win32 >/dev/null && cmake --build --preset win32 -j "$jobs"; then
  exe=build/win32/VORN.EXE
  check "XP check of VORN.EXE" tests/xp/check_imports.sh "$exe"
  check "XP check self-test" tests/xp/selftest.sh
  for suite in tests/wine/*.sh; do
    [ -f "$suite" ] || continue
    case $(basename "$suite") in lib*.sh) continue ;; esac
    check "Wine: $(basename "$suite")" bash "$suite" "$exe"
  done
else
  echo "FAILED: win32 build"
  failed=$((failed + 1))
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
