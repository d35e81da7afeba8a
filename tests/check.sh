# Sourced by the shell test scripts: one check and its count.
# check DESCRIPTION COMMAND...: runs COMMAND, prints "ok" or "FAIL" with
# DESCRIPTION, and counts it in passed/failed.
passed=0
failed=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; passed=$((passed + 1))
  else echo "FAIL - $what"; failed=$((failed + 1)); fi
}
