#!/usr/bin/env bash
# fuzz/run.sh [SECONDS]: builds the `fuzz` preset and runs every fuzzer
# (build/fuzz/*_fuzzer) for SECONDS each (default FUZZ_SECONDS, else 10) on
# its seed corpus fuzz/corpus/<name>/. New inputs go to a scratch folder, so
# the seeds in the repository stay as they are. Fails on any finding; the
# input that found it is kept in build/fuzz/findings/.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-10}}
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "${JOBS:-2}" >/dev/null || {
  echo "fuzz build failed" >&2
  exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
findings=build/fuzz/findings
status=0
for bin in build/fuzz/*_fuzzer; do
  name=$(basename "$bin" _fuzzer)
  mkdir -p "$scratch/$name" "$scratch/tmp" "$findings"
  log=$scratch/$name.log
  # The fuzzers' device folders go to the scratch folder: libFuzzer ends
  # without running their clean-up.
  TMPDIR=$scratch/tmp "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$findings/$name-" \
    "$scratch/$name" "fuzz/corpus/$name" >"$log" 2>&1
  rc=$?
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
  if [ "$rc" -ne 0 ]; then
    echo "$name: FINDING after ${runs:-?} executions (exit $rc):"
    grep -E 'ERROR|SUMMARY|fuzzer: |runtime error|Test unit written' "$log" | head -20
    status=1
  else
    echo "$name: ${runs:-?} executions in ${seconds}s, no finding"
  fi
done
exit $status
