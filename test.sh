#!/usr/bin/env bash
# Installs what is missing, builds every preset (native, sanitizers,
# fuzzers, VORN.EXE and its 64-bit test build) and runs every test in one
# ctest run over build/all (tests/stages/CMakeLists.txt): the checks of the
# sources, unit, behaviour and scenario tests natively and under the
# sanitizers (the failure sweep among them), each fuzzer for a short while,
# the XP checks of VORN.EXE, VORN.EXE under Wine where this machine can run
# 32-bit programs, the 64-bit build under 64-bit Wine against the stand-ins,
# every scenario and the bad-input catalogue on both backends (vorn-sim and
# the 64-bit build under Wine), then the shipped 32-bit build under 32-bit
# Wine in an emulated x86 machine. Prints ctest's summary, each skipped test
# with its reason, and ends with "N passed, N failed, N skipped" counted from
# ctest's results (scripts/ctest_tally.py).
#
# usage: ./test.sh [CTEST_ARGS...]   (passed to ctest, e.g. -L wine or
#                                     -R both.dst-verbs: that selection only)
# Environment: JOBS (compilers per build, default 2; ctest runs twice as
# many tests at once, tests/stages/CMakeLists.txt says why), FUZZ_SECONDS
# (each fuzzer, default 10), VORN_SKIP_X86VM=1 (skip the emulated machine),
# VORN_X86VM_FULL=1 (every scenario there).
set -uo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh --all || exit 1
export JOBS=${JOBS:-2}

# A failed build does not stop the run: its test build.PRESET fails in the
# ctest run and the tests that need it do not run.
cmake -G Ninja -S tests/stages -B build/all >/dev/null || exit 1
cmake --build build/all -- -k 0

results=$PWD/build/all/results.xml
rm -f "$results"
ctest --test-dir build/all -j "$((2 * JOBS))" --output-on-failure --output-junit "$results" "$@"
ctest_status=$?

echo
scripts/ctest_tally.py "$results" && [ "$ctest_status" -eq 0 ]
